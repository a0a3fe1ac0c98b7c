#pragma once

// A file system in memory, for tests that need files but no disk. A hard link shares its
// file's bytes; a claim is on a file, whatever its names, and lasts until its hold is
// destroyed. Folders hold what lies under them, and those the test or the run makes. It can be
// made to take no claims, or to have no hard links.

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "replay/base/file_system.h"

namespace vehisect::testing {

class MemoryFiles : public FileSystem {
 public:
  bool locks = true;  // false: claims fail as on NFS without its lock service
  bool links = true;  // false: no hard links, as FAT
  std::set<std::filesystem::path> symlinks;  // listed as links, and nothing else
  std::set<std::filesystem::path> folders;   // made by CreateFolders, or by the test

  /// Puts `bytes` at `file`, as a file written before the test.
  void Write(const std::filesystem::path& file, const std::string& bytes) {
    files_[Key(file)] = std::make_shared<std::string>(bytes);
  }
  /// The bytes at `file`; "" where none is.
  std::string Read(const std::filesystem::path& file) const {
    const auto found = files_.find(Key(file));
    return found == files_.end() ? "" : *found->second;
  }
  /// The names of the entries of `folder`: files, links and folders.
  std::set<std::string> Names(const std::filesystem::path& folder) const {
    std::set<std::string> names;
    const auto add = [&](const std::filesystem::path& path) {
      const std::filesystem::path inside = Key(path).lexically_relative(Key(folder));
      if (!inside.empty() && *inside.begin() != ".." && *inside.begin() != ".") names.insert(inside.begin()->string());
    };
    for (const auto& [path, bytes] : files_) add(path);
    for (const auto* others : {&symlinks, &folders}) {
      for (const std::filesystem::path& path : *others) add(path);
    }
    return names;
  }

  std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    const auto found = files_.find(Key(from));
    if (found == files_.end()) return std::make_error_code(std::errc::no_such_file_or_directory);
    auto bytes = found->second;
    files_.erase(found);
    files_[Key(to)] = std::move(bytes);
    return {};
  }
  std::error_code LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) override {
    const auto found = files_.find(Key(from));
    if (found == files_.end()) return std::make_error_code(std::errc::no_such_file_or_directory);
    if (files_.count(Key(to)) != 0) return std::make_error_code(std::errc::file_exists);
    files_[Key(to)] = found->second;
    return {};
  }
  std::error_code Flush(const std::filesystem::path&) override { return {}; }
  std::vector<std::error_code> FlushAll(const std::vector<std::filesystem::path>& files) override {
    return std::vector<std::error_code>(files.size());
  }
  std::error_code FlushFolder(const std::filesystem::path&) override { return {}; }
  std::error_code Remove(const std::filesystem::path& file) override {
    return files_.erase(Key(file)) != 0 ? std::error_code() : std::make_error_code(std::errc::no_such_file_or_directory);
  }
  std::error_code List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) override {
    // Files first, then the rest, as a folder's order may be any.
    const std::set<std::string> names = Names(folder);
    for (const bool regular : {true, false}) {
      for (const std::string& name : names) {
        if ((files_.count(Key(folder / name)) != 0) == regular) entries.push_back({name, regular});
      }
    }
    return {};
  }
  std::unique_ptr<Hold> CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                  std::error_code& ec) override {
    ec.clear();
    if (files_.count(Key(file)) != 0) {
      ec = std::make_error_code(std::errc::file_exists);
      return nullptr;
    }
    Write(file, bytes);
    return HoldOf(file, locks);
  }
  std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (!links) return std::make_error_code(std::errc::not_supported);
    return LinkOrCopy(from, to);
  }
  std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (files_.count(Key(to)) != 0) return std::make_error_code(std::errc::file_exists);
    return Rename(from, to);
  }
  std::error_code Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) override {
    sight = Sight{};
    const auto found = files_.find(Key(file));
    if (found == files_.end()) return std::make_error_code(std::errc::no_such_file_or_directory);
    sight.type = std::filesystem::file_type::regular;
    sight.bytes = found->second->substr(0, limit + 1);
    sight.busy = locks && claimed_.count(found->second.get()) != 0;
    sight.hold = HoldOf(file, locks && !sight.busy);
    return {};
  }
  std::error_code CreateFolders(const std::filesystem::path& folder) override {
    folders.insert(Key(folder));
    return {};
  }
  std::filesystem::path Absolute(const std::filesystem::path& path) override { return "/" / path; }
  std::filesystem::file_status Status(const std::filesystem::path& path) override {
    if (files_.count(Key(path)) != 0) return std::filesystem::file_status(std::filesystem::file_type::regular);
    const bool folder = folders.count(Key(path)) != 0 || !Names(path).empty();
    if (folder) return std::filesystem::file_status(std::filesystem::file_type::directory);
    return std::filesystem::file_status(std::filesystem::file_type::not_found);
  }
  bool Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) override {
    const auto x = files_.find(Key(a)), y = files_.find(Key(b));
    return x != files_.end() && y != files_.end() && x->second == y->second;
  }
  std::unique_ptr<std::ostream> Create(const std::filesystem::path& file) override {
    return std::make_unique<Writer>(files_[Key(file)] = std::make_shared<std::string>());
  }
  std::unique_ptr<std::istream> Read(const std::filesystem::path& file) override {
    auto in = std::make_unique<std::istringstream>(static_cast<const MemoryFiles&>(*this).Read(file));
    if (files_.count(Key(file)) == 0) in->setstate(std::ios::failbit);
    return in;
  }
  std::unique_ptr<vehisect::Hold> Claim(const std::filesystem::path& file, std::error_code& ec) override {
    ec.clear();
    const auto found = files_.find(Key(file));
    if (found == files_.end()) ec = std::make_error_code(std::errc::no_such_file_or_directory);
    if (!locks) ec = std::make_error_code(std::errc::no_lock_available);
    if (ec || claimed_.count(found->second.get()) != 0) return nullptr;
    return HoldOf(file, true);
  }

 private:
  // A stream whose bytes land in its file as they are written.
  class Writer : public std::ostream {
   public:
    explicit Writer(std::shared_ptr<std::string> file) : std::ostream(&buffer_), buffer_(std::move(file)) {}

   private:
    struct Buffer : std::streambuf {
      explicit Buffer(std::shared_ptr<std::string> f) : file(std::move(f)) {}
      int_type overflow(int_type c) override {
        if (c != traits_type::eof()) file->push_back(static_cast<char>(c));
        return c;
      }
      std::streamsize xsputn(const char* s, std::streamsize n) override {
        file->append(s, static_cast<std::size_t>(n));
        return n;
      }
      std::shared_ptr<std::string> file;
    } buffer_;
  };
  // Holds a file, by its bytes whatever its names, and its claim when it has one.
  class Held : public vehisect::Hold {
   public:
    Held(MemoryFiles& files, std::shared_ptr<std::string> file, bool claimed)
        : Hold(claimed), files_(files), file_(std::move(file)) {
      if (claimed) files_.claimed_.insert(file_.get());
    }
    ~Held() override {
      if (claimed()) files_.claimed_.erase(file_.get());
    }
    bool Names(const std::filesystem::path& path) const override {
      const auto found = files_.files_.find(Key(path));
      return found != files_.files_.end() && found->second == file_;
    }

   private:
    MemoryFiles& files_;
    std::shared_ptr<std::string> file_;
  };
  std::unique_ptr<vehisect::Hold> HoldOf(const std::filesystem::path& file, bool claimed) {
    return std::make_unique<Held>(*this, files_.at(Key(file)), claimed);
  }
  static std::filesystem::path Key(const std::filesystem::path& path) { return path.lexically_normal(); }

  std::map<std::filesystem::path, std::shared_ptr<std::string>> files_;
  std::set<const std::string*> claimed_;
};

/// A folder of a MemoryFiles, with a TempFolder's helpers.
class MemoryFolder {
 public:
  MemoryFolder(MemoryFiles& files, std::filesystem::path path) : files_(files), path_(std::move(path)) {}
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::filesystem::path& name, const std::string& bytes) const {
    files_.Write(path_ / name, bytes);
    return path_ / name;
  }
  std::string Read(const std::filesystem::path& name) const { return std::as_const(files_).Read(path_ / name); }
  std::set<std::string> Names() const { return files_.Names(path_); }

 private:
  MemoryFiles& files_;
  std::filesystem::path path_;
};

}  // namespace vehisect::testing
