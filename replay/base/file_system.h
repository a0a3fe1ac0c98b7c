#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <ostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace vehisect {

/// An entry of a folder, as FileSystem::List gives it.
struct FolderEntry {
  std::filesystem::path name;  ///< the entry's name, without its folder
  bool regular = false;        ///< a regular file itself, not a link to one
};

/// A file held open until this is destroyed, and with it the run's claim on the file where it
/// has one.
class Hold {
 public:
  explicit Hold(bool claimed) : claimed_(claimed) {}
  virtual ~Hold() = default;
  /// Whether this run holds the file's claim through it.
  bool claimed() const { return claimed_; }
  /// Whether `path` names the file held, a link at `path` not followed.
  virtual bool Names(const std::filesystem::path& path) const = 0;

 private:
  bool claimed_;
};

/// What FileSystem::Look finds under a name.
struct Sight {
  std::filesystem::file_type type = std::filesystem::file_type::not_found;  ///< a link not followed
  std::string bytes;           ///< a regular file's first bytes: up to the limit asked, and one more
  bool busy = false;           ///< another run holds the file's claim
  std::unique_ptr<Hold> hold;  ///< a regular file held open, and claimed where it was free
};

/// The file operations of a run, in one place so that tests can watch their order, make any of
/// them fail, or keep the files in memory. The system's own is SystemFiles().
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Renames `from` to `to`, replacing a file `to` in one atomic step.
  virtual std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  /// Makes `to` a second name of the file `from` (a hard link), or a copy of it where the file
  /// system has no hard links; `to` must not exist.
  virtual std::error_code LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  /// Writes the bytes of the closed file `file` through to the disk.
  virtual std::error_code Flush(const std::filesystem::path& file) = 0;
  /// Flushes each of `files` as Flush does, at once where it can: the error of each, in order;
  /// one at a time, it may stop at the first failure and leave the rest out.
  virtual std::vector<std::error_code> FlushAll(const std::vector<std::filesystem::path>& files) = 0;
  /// Writes the entries of `folder` through to the disk; nothing to do on Windows.
  virtual std::error_code FlushFolder(const std::filesystem::path& folder) = 0;
  /// Removes the file `file`.
  virtual std::error_code Remove(const std::filesystem::path& file) = 0;
  /// Puts the entries of `folder` into `entries`; an error when it cannot be opened or listed.
  virtual std::error_code List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) = 0;
  /// Creates the file `file` holding `bytes` when nothing is there, and holds it open and
  /// claimed (as Claim) where the file system takes claims: the hold; nothing, with `ec` equal
  /// to std::errc::file_exists while something is there, or another error when it cannot be
  /// made or another run claimed it first.
  virtual std::unique_ptr<Hold> CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                          std::error_code& ec) = 0;
  /// Creates the folder `folder` and those above it that are missing.
  virtual std::error_code CreateFolders(const std::filesystem::path& folder) = 0;
  /// `path` made absolute against the working folder.
  virtual std::filesystem::path Absolute(const std::filesystem::path& path) = 0;
  /// The status of `path`, links followed; `file_type::not_found` where nothing is.
  virtual std::filesystem::file_status Status(const std::filesystem::path& path) = 0;
  /// Whether `a` and `b` are one file by identity (false where either is missing).
  virtual bool Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) = 0;
  /// Creates the file `file`, or empties it, for writing; a stream that failed when it cannot,
  /// with errno set. The file is closed when the stream is destroyed.
  virtual std::unique_ptr<std::ostream> Create(const std::filesystem::path& file) = 0;
  /// Opens the file `file` for reading; a stream that failed when it cannot.
  virtual std::unique_ptr<std::istream> Read(const std::filesystem::path& file) = 0;
  /// Gives the file `from` the second name `to` (a hard link) in one step, only while nothing
  /// is called `to`: std::errc::file_exists while something is; std::errc::not_supported where
  /// the file system has no hard links.
  virtual std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  /// Renames `from` to `to` in one step, only while nothing is called `to`: as LinkNew's errors.
  virtual std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  /// Looks at what `file` names without following a link or waiting on it; a regular file is
  /// held open, claimed where it is free, and read up to `limit` bytes and one more. An error
  /// when nothing can be seen there (std::errc::no_such_file_or_directory where nothing is).
  virtual std::error_code Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) = 0;
  /// Claims the file `file` for this run while no other run does: the claim, held until it is
  /// destroyed or the process ends in any way; nothing while another run holds one; an error in
  /// `ec` when it cannot be claimed or `file` no longer names the file claimed.
  virtual std::unique_ptr<Hold> Claim(const std::filesystem::path& file, std::error_code& ec) = 0;
};

/// Whether the error `ec` of a claim means that the file system takes no locks at all, as NFS
/// without its lock service and some FUSE file systems.
bool LocksUnsupported(const std::error_code& ec);

/// Whether the rename error `ec` means that another program has the file open: on Windows a
/// file open without delete sharing cannot be renamed or replaced.
bool HeldOpen(const std::error_code& ec);

/// Whether `a` and `b` name the same file in `files`: the same file by identity, or names in
/// one folder that a case-blind file system takes for one (FAT and exFAT give each spelling
/// its own identity).
bool SameFile(FileSystem& files, const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace vehisect
