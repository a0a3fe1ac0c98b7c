// The system's files on Windows: handles, LockFileEx claims, FlushFileBuffers, all UTF-16.

#include "replay/base/system_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winternl.h>

#include "replay/base/paths.h"
#include "replay/base/system_files_parts.h"

namespace vehisect {
namespace {

std::error_code LastError() {
  return {static_cast<int>(GetLastError()), std::system_category()};
}

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

}  // namespace

bool LocksUnsupported(const std::error_code& ec) {
  if (ec.category() == std::system_category()) {
    return ec.value() == ERROR_NOT_SUPPORTED || ec.value() == ERROR_INVALID_FUNCTION;
  }
  return ec.category() == std::generic_category() &&
         (ec.value() == ENOLCK || ec.value() == EOPNOTSUPP || ec.value() == ENOTSUP || ec.value() == ENOSYS ||
          ec.value() == EINVAL);
}

bool HeldOpen(const std::error_code& ec) {
  return ec.category() == std::system_category() &&
         (ec.value() == ERROR_SHARING_VIOLATION || ec.value() == ERROR_ACCESS_DENIED);
}

std::error_code SystemFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  return WhileHeldOpen([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
}

std::error_code SystemFileSystem::LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
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
  std::filesystem::create_hard_link(from, to, ec);
  // FAT and exFAT have no hard links.
  return ec ? CopyBytes(from, to) : ec;
}

std::error_code SystemFileSystem::Flush(const std::filesystem::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  std::error_code ec;
  if (!FlushFileBuffers(handle)) ec = LastError();
  CloseHandle(handle);
  return ec;
}

std::error_code SystemFileSystem::FlushFolder(const std::filesystem::path& folder) {
  (void)folder;
  return {};
}

namespace {

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

}  // namespace

std::unique_ptr<Hold> SystemFileSystem::CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                            std::error_code& ec) {
  ec.clear();
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
}

std::unique_ptr<Hold> SystemFileSystem::Claim(const std::filesystem::path& file, std::error_code& ec) {
  // Whoever holds the lock is alive: the system lets go of it when a process ends, whatever
  // its process number or namespace.
  ec.clear();
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
}

std::error_code SystemFileSystem::LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) return {};
  return NewNameError();
}

std::error_code SystemFileSystem::RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
  return NewNameError();
}

namespace {

// What the file open as `handle` is, from its attributes and its device: neither asks for its
// volume's information, as GetFileInformationByHandle and the C++ library's status do, which
// under Wine is a round trip to another process, its mount manager, of half a millisecond.
std::filesystem::file_type TypeOf(HANDLE handle) {
  using std::filesystem::file_type;
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return file_type::unknown;
  return (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? file_type::symlink
         : (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? file_type::directory
         : GetFileType(handle) == FILE_TYPE_DISK               ? file_type::regular
                                                               : file_type::unknown;
}

// A file or folder held open for its attributes alone; none where `path` names nothing.
class AttributeHandle {
 public:
  /// What `path` names, a link followed to what it names.
  explicit AttributeHandle(const std::filesystem::path& path)
      : handle_(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
        error_(handle_ == INVALID_HANDLE_VALUE ? GetLastError() : 0) {}
  ~AttributeHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  AttributeHandle(const AttributeHandle&) = delete;
  AttributeHandle& operator=(const AttributeHandle&) = delete;

  /// Why the file could not be opened; 0 where it was.
  DWORD error() const { return error_; }
  /// The file's number on its volume, from the file alone; nothing where there is no file.
  std::optional<LONGLONG> Index() const {
    IO_STATUS_BLOCK io{};
    FILE_INTERNAL_INFORMATION info{};
    if (handle_ == INVALID_HANDLE_VALUE ||
        NtQueryInformationFile(handle_, &io, &info, sizeof info, FileInternalInformation) < 0) {
      return std::nullopt;
    }
    return info.IndexNumber.QuadPart;
  }
  /// What the file is.
  std::filesystem::file_type Type() const { return TypeOf(handle_); }
  /// The file's volume and its id there, which takes the volume's information too.
  std::optional<FILE_ID_INFO> Identity() const {
    FILE_ID_INFO id{};
    if (!GetFileInformationByHandleEx(handle_, FileIdInfo, &id, sizeof id)) return std::nullopt;
    return id;
  }

 private:
  HANDLE handle_;
  DWORD error_;
};

}  // namespace

std::filesystem::file_status SystemFileSystem::Status(const std::filesystem::path& path) {
  using std::filesystem::file_type;
  const AttributeHandle file(path);
  if (file.error() == ERROR_FILE_NOT_FOUND || file.error() == ERROR_PATH_NOT_FOUND) {
    return std::filesystem::file_status(file_type::not_found);
  }
  if (file.error() == 0) return std::filesystem::file_status(file.Type());
  std::error_code ec;  // a file it may not look at: the library's answer
  return std::filesystem::status(path, ec);
}

bool SystemFileSystem::Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) {
  // The numbers first: two files of one volume never share theirs, and two of two volumes
  // seldom do. Only where they agree are the volumes asked for, costly under Wine.
  const AttributeHandle x(a), y(b);
  const std::optional<LONGLONG> i = x.Index(), j = y.Index();
  if (!i || !j || *i != *j) return false;
  const std::optional<FILE_ID_INFO> p = x.Identity(), q = y.Identity();
  return p && q && p->VolumeSerialNumber == q->VolumeSerialNumber &&
         std::memcmp(&p->FileId, &q->FileId, sizeof p->FileId) == 0;
}

std::error_code SystemFileSystem::Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) {
  sight = Sight{};
  std::string bytes(limit + 1, '\0');
  std::size_t done = 0;
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::make_error_code(std::errc::no_such_file_or_directory);
    return {static_cast<int>(error), std::system_category()};
  }
  using std::filesystem::file_type;
  sight.type = TypeOf(handle);
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
  bytes.resize(done);
  sight.bytes = std::move(bytes);
  sight.hold = std::move(hold);
  return {};
}

namespace {

// A handle being written. Windows has no call that starts the disk's writing early: there the
// outputs' flushes overlap each other only (FlushAll).
class HandleFile : public RawFile {
 public:
  explicit HandleFile(HANDLE handle) : handle_(handle) {}
  ~HandleFile() override { CloseHandle(handle_); }
  HandleFile(const HandleFile&) = delete;
  HandleFile& operator=(const HandleFile&) = delete;

  std::streamsize WriteSome(const char* bytes, std::streamsize count) override {
    DWORD written = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::streamsize>(count, std::streamsize{1} << 30));
    if (WriteFile(handle_, bytes, want, &written, nullptr)) return written;
    errno = GetLastError() == ERROR_DISK_FULL || GetLastError() == ERROR_HANDLE_DISK_FULL ? ENOSPC : EIO;
    return -1;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<std::ostream> SystemFileSystem::Create(const std::filesystem::path& file) {
  errno = 0;
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? EACCES
            : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
            : error == ERROR_DISK_FULL ? ENOSPC
                                        : EIO;
  }
  return WriteStraightTo(handle != INVALID_HANDLE_VALUE ? std::make_unique<HandleFile>(handle) : nullptr);
}

}  // namespace vehisect
