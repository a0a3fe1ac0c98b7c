#include "replay/writer.h"

#include <cerrno>

#include "replay/error.h"

namespace vehisect {

void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file) {
  errno = 0;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw ReplayError(file, "expected to write the output, found " + SystemErrorText(errno));
}

}  // namespace vehisect
