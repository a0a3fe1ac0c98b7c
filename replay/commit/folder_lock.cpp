#include "replay/commit/folder_lock.h"

#include <thread>

#include "replay/base/error.h"
#include "replay/base/paths.h"

namespace vehisect {

FolderLock::FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
                       const CancelToken* cancel, const std::function<void()>& waiting) {
  const std::string shown = PathToUtf8(FolderOf(folder));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    std::error_code ec;
    held_ = files.TryLockFolder(folder, ec);
    if (held_) return;
    if (ec) throw ReplayError(shown, 0, "a folder it can lock to put the outputs into", ec.message());
    if (cancel != nullptr && cancel->requested()) throw ReplayError::Cancelled(shown);
    if (std::chrono::steady_clock::now() >= deadline) {
      throw ReplayError(shown, 0, "to put the outputs into the folder",
                        "another run still writing to it after " + std::to_string(wait.count() / 1000) +
                            " s; try again");
    }
    if (!told && waiting) waiting();
    told = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace vehisect
