#pragma once

// What the system's files on each kind of system (system_files_posix.cpp,
// system_files_win32.cpp) share with the code both have (system_files.cpp).

#include <cstdint>
#include <filesystem>
#include <ios>
#include <memory>
#include <ostream>
#include <system_error>

namespace vehisect {

/// A file open for writing, as the system writes it.
class RawFile {
 public:
  virtual ~RawFile() = default;
  /// Writes some of `bytes`: how many, or 0 or less with errno set.
  virtual std::streamsize WriteSome(const char* bytes, std::streamsize count) = 0;
  /// Told that `total` bytes are written in all: may start their way to the disk.
  virtual void Written(std::uint64_t total) { (void)total; }
};

/// A stream that writes straight to `file`, the caller's buffers whole, with no stream buffer
/// between; failed from the start when `file` is none, errno kept as it was.
std::unique_ptr<std::ostream> WriteStraightTo(std::unique_ptr<RawFile> file);

/// Copies the bytes of the file `from` to a new file `to`, for file systems without hard
/// links; on a failure `to` is removed.
std::error_code CopyBytes(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace vehisect
