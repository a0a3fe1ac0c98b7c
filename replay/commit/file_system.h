#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace vehisect {

/// An entry of a folder, as FileSystem::List gives it.
struct FolderEntry {
  std::filesystem::path name;  ///< the entry's name, without its folder
  bool regular = false;        ///< a regular file itself, not a link to one
};

/// Something held until it is destroyed: a folder's lock, or a run's claim on its file.
class Hold {
 public:
  virtual ~Hold() = default;
};

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
  /// Puts the entries of `folder` into `entries`; an error when it cannot be opened or listed.
  virtual std::error_code List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries);
  /// Takes the lock of `folder` when no other run holds it: the lock, or nothing while another
  /// run holds it; an error in `ec` when the folder cannot be locked at all.
  virtual std::unique_ptr<Hold> TryLockFolder(const std::filesystem::path& folder, std::error_code& ec);
  /// Claims the file `file` for this run while no other run does: the claim, held until it is
  /// destroyed or the process ends in any way; nothing while another run holds one; an error in
  /// `ec` when it cannot be claimed or `file` no longer names the file claimed.
  virtual std::unique_ptr<Hold> Claim(const std::filesystem::path& file, std::error_code& ec);
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
  std::string run;  ///< 16 random hex digits
};

/// A new identity for a run of this process.
RunId NewRun();

/// A file that a run writes beside an output: "new" while the output is written, "old" for
/// the older file it replaces while the commit runs, "kept" for an older file that could not
/// be put back.
struct RunFileName {
  RunId run;
  std::size_t output = 0;  ///< the output's number in the run, from 1
  std::string kind;        ///< "new", "old" or "kept"
};

/// The tail of such a file's name: ".vehisect-PID-RUN-K.KIND".
std::string RunFileTail(const RunFileName& file);

/// The run file whose name (UTF-8) is `name`, when it ends exactly as RunFileTail makes it
/// with the kind "new" or "old"; a kept file is never taken for one.
std::optional<RunFileName> ParseRunFile(const std::string& name);

}  // namespace vehisect
