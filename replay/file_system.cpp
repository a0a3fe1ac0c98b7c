#include "replay/file_system.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "replay/names.h"

namespace vehisect {
namespace {

std::error_code LastError() {
#ifdef _WIN32
  return {static_cast<int>(GetLastError()), std::system_category()};
#else
  return {errno, std::generic_category()};
#endif
}

#ifndef _WIN32
// Runs `sync` on a descriptor of `path` opened with `flags`. A file system that cannot flush
// (some FUSE ones, or a folder on some) has nothing to flush.
template <typename Sync>
std::error_code SyncPath(const std::filesystem::path& path, int flags, Sync sync) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return LastError();
  std::error_code ec;
  if (sync(fd) != 0 && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) ec = LastError();
  close(fd);
  return ec;
}
#endif

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  const auto folder = [](const std::filesystem::path& p) { return p.empty() ? std::filesystem::path(".") : p; };
  std::error_code ec;
  if (std::filesystem::equivalent(folder(a), folder(b), ec)) return true;
  const auto key = [&](const std::filesystem::path& p) {
    return FoldUtf8(PathToUtf8(std::filesystem::absolute(folder(p), ec).lexically_normal()));
  };
  return key(a) == key(b);
}

unsigned long ThisProcess() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

#ifdef _WIN32
// Tries `attempt` until it succeeds, or fails otherwise than by a file held open, or a second
// has passed: virus scanners and indexers open new files for a moment, and a careful tool
// waits for them. Returns the last error, or none.
template <typename Attempt>
std::error_code WhileHeldOpen(Attempt attempt) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (;;) {
    if (attempt()) return {};
    const std::error_code ec = LastError();
    if (!HeldOpen(ec) || std::chrono::steady_clock::now() >= deadline) return ec;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}
#endif

std::mutex g_runsMutex;
std::set<std::string> g_runs;  // the runs of this process not yet retired

}  // namespace

std::error_code FileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  return WhileHeldOpen([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
#else
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return ec;
#endif
}

std::error_code FileSystem::Keep(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
#ifdef _WIN32
  // A file held open without delete sharing could be neither replaced nor, through its second
  // name, let go of afterwards: find that out before making one.
  ec = WhileHeldOpen([&] {
    const HANDLE file = CreateFileW(from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  });
  if (ec) return ec;
#endif
  std::filesystem::create_hard_link(from, to, ec);
  if (!ec) return ec;
  // FAT and exFAT have no hard links; some FUSE file systems cannot take the system's fast
  // copy either.
  ec.clear();
  errno = 0;
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(std::size_t{1} << 20);
  while (in && out) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.write(buffer.data(), in.gcount());
  }
  if (in.bad() || !in.eof() || !out.flush()) {
    ec = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    out.close();
    std::error_code ignored;
    std::filesystem::remove(to, ignored);
  }
  return ec;
}

std::error_code FileSystem::Flush(const std::filesystem::path& file) {
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  std::error_code ec;
  if (!FlushFileBuffers(handle)) ec = LastError();
  CloseHandle(handle);
  return ec;
#else
  return SyncPath(file, O_RDONLY, fdatasync);
#endif
}

std::error_code FileSystem::FlushFolder(const std::filesystem::path& folder) {
#ifdef _WIN32
  (void)folder;
  return {};
#else
  return SyncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY, fsync);
#endif
}

std::error_code FileSystem::Remove(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::remove(file, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
  return ec;
}

FileSystem& SystemFiles() {
  static FileSystem files;
  return files;
}

bool HeldOpen(const std::error_code& ec) {
#ifdef _WIN32
  return ec.category() == std::system_category() &&
         (ec.value() == ERROR_SHARING_VIOLATION || ec.value() == ERROR_ACCESS_DENIED);
#else
  (void)ec;
  return false;
#endif
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return FoldUtf8(PathToUtf8(a.filename())) == FoldUtf8(PathToUtf8(b.filename())) &&
         SameFolder(a.parent_path(), b.parent_path());
}

RunId NewRun() {
  static std::mt19937_64 random{std::random_device{}()};
  const std::lock_guard lock(g_runsMutex);
  RunId id;
  id.process = ThisProcess();
  do {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
    id.run = hex;
  } while (!g_runs.insert(id.run).second);
  return id;
}

void Retire(const RunId& id) {
  const std::lock_guard lock(g_runsMutex);
  g_runs.erase(id.run);
}

bool RunAlive(const RunId& id) {
  if (id.process == ThisProcess()) {
    const std::lock_guard lock(g_runsMutex);
    return g_runs.count(id.run) != 0;
  }
#ifdef _WIN32
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id.process));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return alive;
#else
  return kill(static_cast<pid_t>(id.process), 0) == 0 || errno == EPERM;
#endif
}

}  // namespace vehisect
