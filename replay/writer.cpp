#include "replay/writer.h"

#include <cerrno>

#include "replay/error.h"

namespace vehisect {

void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file) {
  errno = 0;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw ReplayError(file, "expected to write the output, found " + SystemErrorText(errno));
}

OutputWriter::OutputWriter(std::ostream& out, std::string file) : out_(&out), file_(std::move(file)) {
  buffer_.reserve(kCapacity);
}

void OutputWriter::Flush() {
  WriteBytes(*out_, buffer_, file_);
  buffer_.clear();
}

}  // namespace vehisect
