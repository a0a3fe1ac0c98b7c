// The system's files on POSIX systems: descriptors, flock(2) claims, fdatasync(2).

#include "replay/base/system_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "replay/base/paths.h"
#include "replay/base/system_files_parts.h"

namespace vehisect {
namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

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

}  // namespace

bool LocksUnsupported(const std::error_code& ec) {
  return ec.category() == std::generic_category() &&
         (ec.value() == ENOLCK || ec.value() == EOPNOTSUPP || ec.value() == ENOTSUP || ec.value() == ENOSYS ||
          ec.value() == EINVAL);
}

// Only Windows keeps a file open in another program from being renamed or replaced.
bool HeldOpen(const std::error_code&) { return false; }

std::error_code SystemFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return ec;
}

std::error_code SystemFileSystem::LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::create_hard_link(from, to, ec);
  // FAT and exFAT have no hard links.
  return ec ? CopyBytes(from, to) : ec;
}

std::error_code SystemFileSystem::Flush(const std::filesystem::path& file) {
  return SyncPath(file, O_RDONLY, fdatasync);
}

std::error_code SystemFileSystem::FlushFolder(const std::filesystem::path& folder) {
  return SyncPath(FolderOf(folder), O_RDONLY | O_DIRECTORY, fsync);
}

namespace {

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

}  // namespace

std::unique_ptr<Hold> SystemFileSystem::CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                            std::error_code& ec) {
  ec.clear();
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
}

std::unique_ptr<Hold> SystemFileSystem::Claim(const std::filesystem::path& file, std::error_code& ec) {
  // Whoever holds the lock is alive: the system lets go of it when a process ends, whatever
  // its process number or namespace.
  ec.clear();
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
}

std::error_code SystemFileSystem::LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (link(from.c_str(), to.c_str()) == 0) return {};
  return NewNameError();
}

std::error_code SystemFileSystem::RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  return NewNameError();
}

std::filesystem::file_status SystemFileSystem::Status(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::status(path, ec);
}

bool SystemFileSystem::Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

std::error_code SystemFileSystem::Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) {
  sight = Sight{};
  std::string bytes(limit + 1, '\0');
  std::size_t done = 0;
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
  bytes.resize(done);
  sight.bytes = std::move(bytes);
  sight.hold = std::move(hold);
  return {};
}

namespace {

// A descriptor being written. On Linux it starts the disk's writing of every few MiB as soon
// as they are written, as storage engines do (RocksDB's bytes_per_sync), so that the flush
// before an output takes its name waits for the tail alone.
class FdFile : public RawFile {
 public:
  explicit FdFile(int fd) : fd_(fd) {}
  ~FdFile() override { close(fd_); }
  FdFile(const FdFile&) = delete;
  FdFile& operator=(const FdFile&) = delete;

  std::streamsize WriteSome(const char* bytes, std::streamsize count) override {
    for (;;) {
      const ssize_t n = write(fd_, bytes, static_cast<std::size_t>(count));
      if (n >= 0 || errno != EINTR) return n;
    }
  }
#ifdef __linux__
  void Written(std::uint64_t total) override {
    const auto written = static_cast<off_t>(total);
    if (written - started_ < kWriteBehind) return;
    // A hint only: where it fails, the flush does all the work, as it would have anyway.
    sync_file_range(fd_, started_, written - started_, SYNC_FILE_RANGE_WRITE);
    started_ = written;
  }
#endif

 private:
  static constexpr off_t kWriteBehind = off_t{8} << 20;
  int fd_;
  off_t started_ = 0;  // written up to here, the disk's writing has been started
};

}  // namespace

std::unique_ptr<std::ostream> SystemFileSystem::Create(const std::filesystem::path& file) {
  errno = 0;
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return WriteStraightTo(fd >= 0 ? std::make_unique<FdFile>(fd) : nullptr);
}

}  // namespace vehisect
