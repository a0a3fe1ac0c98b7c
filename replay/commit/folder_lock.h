#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/commit/run_files.h"

namespace vehisect {

/// An exclusive lock on a folder, so that one run at a time puts outputs into it: a lock file
/// in the folder (kLockFileName), made only where none is, which every run reaching the folder
/// sees, through any mount and from any computer. It says who holds it; a lock whose holder is
/// proven gone (this computer, this boot, its process ended) is taken over.
class FolderLock {
 public:
  /// Takes the lock on `folder` for the run `run` through `files`, waiting up to `wait` for
  /// another run to let go of it and calling `waiting` once when it must wait; raises
  /// ReplayError when the folder cannot be locked, the time runs out, or `cancel` asks the run
  /// to stop meanwhile.
  FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
             const CancelToken* cancel, const std::function<void()>& waiting, const RunId& run = NewRun());
  /// Removes the lock file.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  /// The lock file's text, which names its holder.
  const std::string& text() const { return text_; }
  /// The run whose lock this one took over, stopped in its commit; none when the lock was free.
  const std::optional<RunId>& stopped() const { return stopped_; }

 private:
  bool TakeOverIfStale(const std::string& seen, std::chrono::steady_clock::time_point incompleteSince);
  FileSystem& files_;
  std::filesystem::path path_;
  std::string text_;
  std::optional<RunId> stopped_;
  std::unique_ptr<Hold> held_;
};

/// The whole text of the file `file` read through `files`; "" when it cannot be read.
std::string ReadText(FileSystem& files, const std::filesystem::path& file);

}  // namespace vehisect
