#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

#include "replay/cancel.h"

namespace vehisect {

/// An exclusive lock on a folder, so that one run at a time puts outputs into it. The system
/// lets go of it when the process ends in any way, and it leaves no file behind.
class FolderLock {
 public:
  /// Takes the lock on `folder`, waiting up to `wait` for another run to let go of it and
  /// calling `waiting` once when it must wait; raises ReplayError when the time runs out or
  /// `cancel` asks the run to stop meanwhile.
  FolderLock(const std::filesystem::path& folder, std::chrono::milliseconds wait,
             const CancelToken* cancel, const std::function<void()>& waiting);
  /// Lets go of the lock.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  bool TryLock();
  void Release() noexcept;
#ifdef _WIN32
  void* mutex_ = nullptr;
#else
  int fd_ = -1;
#endif
  bool held_ = false;
};

}  // namespace vehisect
