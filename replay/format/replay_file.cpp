#include "replay/format/replay_file.h"

#include <cerrno>

#include "replay/base/error.h"

namespace vehisect {

std::unique_ptr<std::istream> OpenReplay(FileSystem& files, const std::filesystem::path& path, const std::string& shown) {
  const auto status = files.Status(path);
  if (!std::filesystem::exists(status)) throw ReplayError(shown, 0, "a replay file", "no such file");
  if (std::filesystem::is_directory(status)) throw ReplayError(shown, 0, "a replay file", "that it is a folder, not a replay");
  // A pipe or device could block the window forever, or never end.
  if (!std::filesystem::is_regular_file(status)) {
    throw ReplayError(shown, 0, "a replay file", "a special file");
  }
  errno = 0;
  std::unique_ptr<std::istream> in = files.Read(path);
  if (!*in) throw ReplayError(shown, 0, "to open the replay", SystemErrorText(errno));
  return in;
}

}  // namespace vehisect
