#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/commit/run_files.h"

namespace vehisect {

/// An exclusive lock on a folder, so that one run at a time puts outputs into it: a lock file
/// in the folder (kLockFileName), which every run reaching the folder sees, through any mount
/// and from any computer. The name only ever holds a whole lock file, claimed by its run where
/// the file system takes claims, that says who holds it; a lock whose holder is proven gone is
/// taken over, and the file taken away is proven to be the one judged.
class FolderLock {
 public:
  /// Takes the lock on `folder` for the run `run` through `files`, waiting up to `wait` for
  /// another run to let go of it and calling `waiting` once when it must wait; raises
  /// ReplayError when the folder cannot be locked, the time runs out, or `cancel` asks the run
  /// to stop meanwhile.
  FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
             const CancelToken* cancel, const std::function<void()>& waiting, const RunId& run = NewRun());
  /// Lets go of the lock, as Release does, whatever comes of it.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  /// Removes the lock file while it is still this run's own: the error where it could not.
  std::error_code Release();
  /// Whether `folder` holds this very lock, through whatever mount or share it is reached.
  bool Locks(const std::filesystem::path& folder) const;
  /// The lock file's path.
  const std::filesystem::path& path() const { return path_; }
  /// The lock file's text, which names its holder.
  const std::string& text() const { return text_; }
  /// The run whose lock this one took over, stopped in its commit; none when the lock was free.
  const std::optional<RunId>& stopped() const { return stopped_; }

 private:
  void Acquire(std::chrono::milliseconds wait, const CancelToken* cancel, const std::function<void()>& waiting);
  bool See(Sight& sight) const;
  bool Make(const std::filesystem::path& file);
  bool Take();
  bool TakeOver(const Sight& sight, const RunId& stale);
  FileSystem& files_;
  std::filesystem::path path_;
  std::filesystem::path own_;  // the lock file made whole under the run's own name
  std::string text_;
  std::optional<RunId> stopped_;
  std::unique_ptr<Hold> held_;
  bool direct_ = false;  // the file system gives no name only where none is
};

}  // namespace vehisect
