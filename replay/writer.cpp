#include "replay/writer.h"

#include <cerrno>

#include "replay/error.h"

namespace vehisect {

void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file) {
  errno = 0;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw ReplayError(file, "expected to write the output, found " + SystemErrorText(errno));
}

OutputWriter::OutputWriter(std::ostream& out, std::string file)
    : out_(&out), file_(std::move(file)), buffer_(new char[kCapacity]) {}

void OutputWriter::Flush() {
  WriteBytes(*out_, std::string_view(buffer_.get(), used_), file_);
  used_ = 0;
}

}  // namespace vehisect
