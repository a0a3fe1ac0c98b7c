#include "replay/folder_lock.h"

#include <cerrno>
#include <cstdint>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "replay/error.h"
#include "replay/names.h"

namespace vehisect {

FolderLock::FolderLock(const std::filesystem::path& folder, std::chrono::milliseconds wait,
                       const CancelToken* cancel, const std::function<void()>& waiting) {
  const std::filesystem::path where = folder.empty() ? "." : folder;
#ifdef _WIN32
  // A named mutex, as a lock file would be left in the player's folder after a crash. Named
  // after the folder as Windows compares paths, ignoring case.
  std::error_code ec;
  const std::string key = FoldUtf8(PathToUtf8(std::filesystem::absolute(where, ec).lexically_normal()));
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  wchar_t name[64];
  swprintf(name, 64, L"Local\\Vehisect-folder-%016llx", static_cast<unsigned long long>(hash));
  mutex_ = CreateMutexW(nullptr, FALSE, name);
#else
  fd_ = open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  while (!TryLock()) {
    if (cancel != nullptr && cancel->requested()) throw ReplayError::Cancelled(PathToUtf8(where));
    if (std::chrono::steady_clock::now() >= deadline) {
      Release();
      throw ReplayError(PathToUtf8(where), 0, "to put the outputs into the folder",
                        "another run still writing to it after " + std::to_string(wait.count() / 1000) +
                            " s; try again");
    }
    if (!told && waiting) waiting();
    told = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool FolderLock::TryLock() {
#ifdef _WIN32
  // Without a mutex there is nothing to wait for; the commit goes on unguarded.
  if (mutex_ == nullptr) return true;
  const DWORD got = WaitForSingleObject(mutex_, 0);
  held_ = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;  // abandoned: its run has died
  return held_;
#else
  // A folder that cannot be opened, or a file system without locks, guards nothing: the
  // commit goes on, and fails where the folder does.
  if (fd_ < 0) return true;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return held_ = true;
  return errno != EWOULDBLOCK && errno != EINTR;
#endif
}

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() noexcept {
#ifdef _WIN32
  if (held_) ReleaseMutex(mutex_);
  if (mutex_ != nullptr) CloseHandle(mutex_);
  mutex_ = nullptr;
#else
  if (fd_ >= 0) close(fd_);  // lets go of the lock
  fd_ = -1;
#endif
  held_ = false;
}

}  // namespace vehisect
