#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace vehisect {

/// The file operations of a commit, in one place so that tests can watch their order and make
/// any of them fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Renames `from` to `to`, replacing a file `to` in one atomic step.
  virtual std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to);
  /// Makes `to` a second name of the file `from` (a hard link), or a copy of it where the file
  /// system has no hard links; `to` must not exist.
  virtual std::error_code Keep(const std::filesystem::path& from, const std::filesystem::path& to);
  /// Writes the bytes of the closed file `file` through to the disk.
  virtual std::error_code Flush(const std::filesystem::path& file);
  /// Writes the entries of `folder` through to the disk; nothing to do on Windows.
  virtual std::error_code FlushFolder(const std::filesystem::path& folder);
  /// Removes the file `file`.
  virtual std::error_code Remove(const std::filesystem::path& file);
};

/// The file system itself.
FileSystem& SystemFiles();

/// Whether the rename error `ec` means that another program has the file open: on Windows a
/// file open without delete sharing cannot be renamed or replaced.
bool HeldOpen(const std::error_code& ec);

/// Whether `a` and `b` name the same file: the same file by identity, or names in one folder
/// that a case-blind file system takes for one (FAT and exFAT give each spelling its own
/// identity).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

/// The identity of this process and of one run in it, as temporary file names carry it.
struct RunId {
  unsigned long process = 0;
  std::string run;  ///< a random hex token, unique in the process
};

/// A new identity for a run of this process; live until Retire.
RunId NewRun();

/// Marks the run `id` of this process as ended.
void Retire(const RunId& id);

/// Whether the run `id` may still be going: a run of this process not yet retired, or any
/// run of another process that is still alive.
bool RunAlive(const RunId& id);

}  // namespace vehisect
