#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "replay/base/cancel.h"
#include "replay/commit/file_system.h"

namespace vehisect {

/// An exclusive lock on a folder, so that one run at a time puts outputs into it. The system
/// lets go of it when the process ends in any way, and it leaves no file behind.
class FolderLock {
 public:
  /// Takes the lock on `folder` through `files`, waiting up to `wait` for another run to let
  /// go of it and calling `waiting` once when it must wait; raises ReplayError when the folder
  /// cannot be locked, the time runs out, or `cancel` asks the run to stop meanwhile.
  FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
             const CancelToken* cancel, const std::function<void()>& waiting);
  /// Lets go of the lock.
  ~FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  std::unique_ptr<Hold> held_;
};

}  // namespace vehisect
