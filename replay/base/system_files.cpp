#include "replay/base/system_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "replay/base/paths.h"

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

}  // namespace

std::error_code SystemFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  return WhileHeldOpen([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
#else
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return ec;
#endif
}

std::error_code SystemFileSystem::LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
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

std::error_code SystemFileSystem::Flush(const std::filesystem::path& file) {
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

std::error_code SystemFileSystem::FlushFolder(const std::filesystem::path& folder) {
#ifdef _WIN32
  (void)folder;
  return {};
#else
  return SyncPath(FolderOf(folder), O_RDONLY | O_DIRECTORY, fsync);
#endif
}

std::error_code SystemFileSystem::Remove(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::remove(file, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
  return ec;
}

std::error_code SystemFileSystem::List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) {
  std::error_code ec;
  std::filesystem::directory_iterator entry(FolderOf(folder), ec);
  for (const std::filesystem::directory_iterator end; !ec && entry != end; entry.increment(ec)) {
    std::error_code ignored;
    entries.push_back({entry->path().filename(), entry->symlink_status(ignored).type() == std::filesystem::file_type::regular});
  }
  return ec;
}

namespace {

#ifdef _WIN32
// Owns a handle, and with it any lock taken through it.
class WinHold : public Hold {
 public:
  explicit WinHold(HANDLE handle, bool claimed = true) : Hold(claimed), handle_(handle) {}
  ~WinHold() override { CloseHandle(handle_); }
  bool Names(const std::filesystem::path& path) const override;
  WinHold(const WinHold&) = delete;
  WinHold& operator=(const WinHold&) = delete;

 private:
  HANDLE handle_;
};

// A claim is a lock on one byte far past any data, so that reading and writing the file are
// not hindered by it.
constexpr DWORD kClaimOffsetHigh = 0x7FFFFFFF;

bool LockClaim(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kClaimOffsetHigh;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

HANDLE OpenShared(const std::filesystem::path& file) {
  return CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool SameIdentity(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// A name's error as FileSystem reports it: taken, or no such step on this file system.
std::error_code NewNameError() {
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return std::make_error_code(std::errc::file_exists);
  if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) return std::make_error_code(std::errc::not_supported);
  return {static_cast<int>(error), std::system_category()};
}
bool WinHold::Names(const std::filesystem::path& path) const {
  const HANDLE named = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool same = SameIdentity(handle_, named);
  CloseHandle(named);
  return same;
}
#else
// A name's error as FileSystem reports it: taken, or no such step on this file system.
std::error_code NewNameError() {
  if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOTSUP || errno == ENOSYS || errno == EINVAL) {
    return std::make_error_code(std::errc::not_supported);
  }
  return LastError();
}

std::filesystem::file_type TypeOf(mode_t mode) {
  using std::filesystem::file_type;
  return S_ISREG(mode) ? file_type::regular : S_ISDIR(mode) ? file_type::directory : S_ISLNK(mode) ? file_type::symlink
         : S_ISFIFO(mode) ? file_type::fifo : S_ISSOCK(mode) ? file_type::socket : S_ISBLK(mode) ? file_type::block
         : S_ISCHR(mode) ? file_type::character : file_type::unknown;
}

// Owns a descriptor, and with it any lock taken through it.
class FdHold : public Hold {
 public:
  explicit FdHold(int fd, bool claimed = true) : Hold(claimed), fd_(fd) {}
  ~FdHold() override { close(fd_); }
  int fd() const { return fd_; }
  bool Names(const std::filesystem::path& path) const override {
    struct stat held {}, named {};
    return fstat(fd_, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
           held.st_dev == named.st_dev;
  }
  FdHold(const FdHold&) = delete;
  FdHold& operator=(const FdHold&) = delete;

 private:
  int fd_;
};
#endif

}  // namespace

std::unique_ptr<Hold> SystemFileSystem::CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                            std::error_code& ec) {
  ec.clear();
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A file that another run is letting go of is denied, not reported as there.
    const bool there = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                       (error == ERROR_ACCESS_DENIED && (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES ||
                                                         GetLastError() == ERROR_ACCESS_DENIED));
    ec = there ? std::make_error_code(std::errc::file_exists) : std::error_code(static_cast<int>(error), std::system_category());
    return nullptr;
  }
  // A new file is claimed at once where the file system takes claims; one that another run
  // claimed first is not this run's to write.
  const bool claimed = LockClaim(handle);
  const DWORD claimError = claimed ? 0 : GetLastError();
  auto hold = std::make_unique<WinHold>(handle, claimed);
  if (claimError == ERROR_LOCK_VIOLATION) {
    ec = std::make_error_code(std::errc::device_or_resource_busy);
    hold.reset();
    DeleteFileW(file.c_str());
    return nullptr;
  }
  DWORD written = 0;
  if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size()) {
    ec = LastError();
    hold.reset();
    DeleteFileW(file.c_str());
    return nullptr;
  }
  return hold;
#else
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    ec = LastError();
    return nullptr;
  }
  // A new file is claimed at once where the file system takes claims; one that another run
  // claimed first is not this run's to write.
  const bool claimed = flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int claimError = claimed ? 0 : errno;
  auto hold = std::make_unique<FdHold>(fd, claimed);
  if (claimError == EWOULDBLOCK) {
    ec = std::make_error_code(std::errc::device_or_resource_busy);
    hold.reset();
    unlink(file.c_str());
    return nullptr;
  }
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ec = n < 0 ? LastError() : std::make_error_code(std::errc::io_error);
      unlink(file.c_str());
      return nullptr;
    }
    done += static_cast<std::size_t>(n);
  }
  return hold;
#endif
}

std::unique_ptr<Hold> SystemFileSystem::Claim(const std::filesystem::path& file, std::error_code& ec) {
  // Whoever holds the lock is alive: the system lets go of it when a process ends, whatever
  // its process number or namespace.
  ec.clear();
#ifdef _WIN32
  const HANDLE handle = OpenShared(file);
  if (handle == INVALID_HANDLE_VALUE) {
    ec = LastError();
    return nullptr;
  }
  if (!LockClaim(handle)) {
    if (GetLastError() != ERROR_LOCK_VIOLATION) ec = LastError();
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<WinHold>(handle);
#else
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    ec = LastError();
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) ec = LastError();
    close(fd);
    return nullptr;
  }
  // Another run may have removed the file between its opening and its lock.
  struct stat held {}, named {};
  if (fstat(fd, &held) != 0 || stat(file.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
    close(fd);
    return nullptr;
  }
  return std::make_unique<FdHold>(fd);
#endif
}

std::error_code SystemFileSystem::LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return {};
#else
  if (link(from.c_str(), to.c_str()) == 0) return {};
#endif
  return NewNameError();
}

std::error_code SystemFileSystem::RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
#else
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
#endif
  return NewNameError();
}

std::error_code SystemFileSystem::Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) {
  sight = Sight{};
  std::string bytes(limit + 1, '\0');
  std::size_t done = 0;
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::make_error_code(std::errc::no_such_file_or_directory);
    return {static_cast<int>(error), std::system_category()};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    const std::error_code ec = LastError();
    CloseHandle(handle);
    return ec;
  }
  using std::filesystem::file_type;
  sight.type = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? file_type::symlink
               : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? file_type::directory
               : GetFileType(handle) == FILE_TYPE_DISK                ? file_type::regular
                                                                      : file_type::unknown;
  if (sight.type != file_type::regular) {
    CloseHandle(handle);
    return {};
  }
  const bool claimed = LockClaim(handle);
  sight.busy = !claimed && GetLastError() == ERROR_LOCK_VIOLATION;
  auto hold = std::make_unique<WinHold>(handle, claimed);
  for (DWORD n = 0; done < bytes.size(); done += n) {
    if (!ReadFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr)) return LastError();
    if (n == 0) break;
  }
#else
  struct stat named {};
  if (lstat(file.c_str(), &named) != 0) return LastError();
  sight.type = TypeOf(named.st_mode);
  if (sight.type != std::filesystem::file_type::regular) return {};
  // Neither a link nor a FIFO put there meanwhile may hold the run up.
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  struct stat held {};
  const bool stated = fstat(fd, &held) == 0;
  if (!stated || !S_ISREG(held.st_mode)) {
    sight.type = stated ? TypeOf(held.st_mode) : std::filesystem::file_type::unknown;
    close(fd);
    return {};
  }
  const bool claimed = flock(fd, LOCK_EX | LOCK_NB) == 0;
  sight.busy = !claimed && errno == EWOULDBLOCK;
  auto hold = std::make_unique<FdHold>(fd, claimed);
  for (ssize_t n = 0; done < bytes.size(); done += static_cast<std::size_t>(n)) {
    n = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) n = 0;
    else if (n < 0) return LastError();
    else if (n == 0) break;
  }
#endif
  bytes.resize(done);
  sight.bytes = std::move(bytes);
  sight.hold = std::move(hold);
  return {};
}

std::error_code SystemFileSystem::CreateFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return ec;
}

std::filesystem::path SystemFileSystem::Absolute(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute;
}

std::filesystem::file_status SystemFileSystem::Status(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::status(path, ec);
}

bool SystemFileSystem::Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

namespace {

// Writes straight to a file, the caller's buffers whole, with no stream buffer between. On
// Linux it starts the disk's writing of every few MiB as soon as they are written, as storage
// engines do (RocksDB's bytes_per_sync), so that the flush before an output takes its name
// waits for the tail alone; Windows has no such call, and there the outputs' flushes overlap
// each other only (FlushAll).
class WriteBehindBuffer : public std::streambuf {
 public:
#ifdef _WIN32
  using Handle = HANDLE;
  static inline const Handle kNone = INVALID_HANDLE_VALUE;
#else
  using Handle = int;
  static inline const Handle kNone = -1;
#endif
  explicit WriteBehindBuffer(Handle file) : file_(file) {}
  ~WriteBehindBuffer() override {
#ifdef _WIN32
    if (file_ != kNone) CloseHandle(file_);
#else
    if (file_ != kNone) close(file_);
#endif
  }
  WriteBehindBuffer(const WriteBehindBuffer&) = delete;
  WriteBehindBuffer& operator=(const WriteBehindBuffer&) = delete;

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    for (std::streamsize done = 0; done < count;) {
      const std::streamsize n = WriteSome(bytes + done, count - done);
      if (n <= 0) return done;  // errno says why
      done += n;
    }
#ifdef __linux__
    written_ += count;
    if (written_ - started_ >= kWriteBehind) {
      // A hint only: where it fails, the flush does all the work, as it would have anyway.
      sync_file_range(file_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
      started_ = written_;
    }
#endif
    return count;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

 private:
#ifdef __linux__
  static constexpr off_t kWriteBehind = off_t{8} << 20;
#endif

  // Writes some of `bytes`: how many, or 0 or less with errno set.
  std::streamsize WriteSome(const char* bytes, std::streamsize count) {
#ifdef _WIN32
    DWORD written = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::streamsize>(count, std::streamsize{1} << 30));
    if (WriteFile(file_, bytes, want, &written, nullptr)) return written;
    errno = GetLastError() == ERROR_DISK_FULL || GetLastError() == ERROR_HANDLE_DISK_FULL ? ENOSPC : EIO;
    return -1;
#else
    for (;;) {
      const ssize_t n = write(file_, bytes, static_cast<std::size_t>(count));
      if (n >= 0 || errno != EINTR) return n;
    }
#endif
  }

  Handle file_;
#ifdef __linux__
  off_t written_ = 0;
  off_t started_ = 0;  // written up to here, the disk's writing has been started
#endif
};

// A file being written through a WriteBehindBuffer; failed from the start when `file` is none.
class WriteBehindStream : public std::ostream {
 public:
  explicit WriteBehindStream(WriteBehindBuffer::Handle file) : std::ostream(nullptr), buffer_(file) {
    rdbuf(&buffer_);
    if (file == WriteBehindBuffer::kNone) setstate(std::ios::badbit);
  }

 private:
  WriteBehindBuffer buffer_;
};

}  // namespace

std::unique_ptr<std::ostream> SystemFileSystem::Create(const std::filesystem::path& file) {
  errno = 0;
#ifdef _WIN32
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? EACCES
            : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
            : error == ERROR_DISK_FULL ? ENOSPC
                                        : EIO;
  }
#else
  const int handle = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
#endif
  const int error = errno;
  auto stream = std::make_unique<WriteBehindStream>(handle);
  errno = error;
  return stream;
}

std::vector<std::error_code> SystemFileSystem::FlushAll(const std::vector<std::filesystem::path>& files) {
  // At once, so that the disk sees every output's last bytes together, not one after another.
  std::vector<std::error_code> flushed(files.size());
  std::vector<std::thread> threads;
  try {
    for (std::size_t k = 0; k < files.size(); ++k) threads.emplace_back([&, k] { flushed[k] = Flush(files[k]); });
  } catch (const std::system_error&) {
    // No thread to be had: the rest one after the other.
    for (std::size_t k = threads.size(); k < files.size(); ++k) flushed[k] = Flush(files[k]);
  }
  for (std::thread& thread : threads) thread.join();
  return flushed;
}

std::unique_ptr<std::istream> SystemFileSystem::Read(const std::filesystem::path& file) {
  return std::make_unique<std::ifstream>(file, std::ios::binary);
}

FileSystem& SystemFiles() {
  static SystemFileSystem files;
  return files;
}

}  // namespace vehisect
