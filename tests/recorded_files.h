#pragma once

// File systems for tests: one that hands every operation on to another, and one that records
// what changes the files beneath it, in memory or on the disk, and can fail or "kill" any step.

#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/file_system.h"
#include "replay/commit/outputs.h"
#include "replay/format/same_race.h"
#include "replay/run/splitter.h"

namespace vehisect::testing {

// Every operation handed on to `inner`, for fakes that change a few of them.
class ForwardingFiles : public FileSystem {
 public:
  explicit ForwardingFiles(FileSystem& inner) : inner_(inner) {}
  std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return inner_.Rename(from, to);
  }
  std::error_code LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return inner_.LinkOrCopy(from, to);
  }
  std::error_code Flush(const std::filesystem::path& file) override { return inner_.Flush(file); }
  // One at a time, in order, through Flush, so that a fake's Flush is the one that runs and the
  // steps are numbered alike in every run.
  std::vector<std::error_code> FlushAll(const std::vector<std::filesystem::path>& files) override {
    std::vector<std::error_code> flushed;
    for (const std::filesystem::path& file : files) {
      flushed.push_back(Flush(file));
      if (flushed.back()) break;
    }
    return flushed;
  }
  std::error_code FlushFolder(const std::filesystem::path& folder) override { return inner_.FlushFolder(folder); }
  std::error_code Remove(const std::filesystem::path& file) override { return inner_.Remove(file); }
  std::error_code List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) override {
    return inner_.List(folder, entries);
  }
  std::unique_ptr<Hold> CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                  std::error_code& ec) override {
    return inner_.CreateNew(file, bytes, ec);
  }
  std::error_code CreateFolders(const std::filesystem::path& folder) override { return inner_.CreateFolders(folder); }
  std::filesystem::path Absolute(const std::filesystem::path& path) override { return inner_.Absolute(path); }
  std::filesystem::file_status Status(const std::filesystem::path& path) override { return inner_.Status(path); }
  bool Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) override {
    return inner_.Equivalent(a, b);
  }
  std::unique_ptr<std::ostream> Create(const std::filesystem::path& file) override { return inner_.Create(file); }
  std::unique_ptr<std::istream> Read(const std::filesystem::path& file) override { return inner_.Read(file); }
  std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return inner_.LinkNew(from, to);
  }
  std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return inner_.RenameNew(from, to);
  }
  std::error_code Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) override {
    return inner_.Look(file, limit, sight);
  }
  std::unique_ptr<Hold> Claim(const std::filesystem::path& file, std::error_code& ec) override {
    return inner_.Claim(file, ec);
  }

 private:
  FileSystem& inner_;
};

// One operation that changes the disk, with the names of the files it touched.
struct FileOp {
  enum Kind { kCreate, kRename, kLink, kFlush, kFlushFolder, kRemove } kind;
  std::string a, b;   // file names in the folder; a copy's b is the file copied
  bool done = true;   // false for a step that failed, or that a "kill" left undone
};

// Records what changes the disk; each change but the making of a new file is a step, numbered
// from 1. Step `failAt` fails, or, when `dies`, it and every later one does nothing, as when
// the program is killed there; the steps in `failing` fail too.
class RecordedFiles : public ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  std::vector<FileOp> ops;                  // every step and creation
  std::map<std::string, std::string> made;  // the bytes of the files made whole, by name
  bool copies = false;                      // keeps files as copies, as FAT and exFAT do
  int failAt = 0;
  bool dies = false;
  std::set<int> failing;

  std::unique_ptr<std::ostream> Create(const std::filesystem::path& file) override {
    ops.push_back({FileOp::kCreate, Name(file), ""});
    return ForwardingFiles::Create(file);
  }
  std::unique_ptr<Hold> CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                  std::error_code& ec) override {
    ops.push_back({FileOp::kCreate, Name(file), ""});
    made[Name(file)] = bytes;
    return ForwardingFiles::CreateNew(file, bytes, ec);
  }
  std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return Step({FileOp::kRename, Name(from), Name(to)}, [&] { return ForwardingFiles::Rename(from, to); });
  }
  std::error_code LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (copies) made[Name(to)].assign(std::istreambuf_iterator<char>(*ForwardingFiles::Read(from)), {});
    const FileOp op = copies ? FileOp{FileOp::kCreate, Name(to), Name(from)} : FileOp{FileOp::kLink, Name(from), Name(to)};
    return Step(op, [&] { return ForwardingFiles::LinkOrCopy(from, to); });
  }
  std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return Step({FileOp::kLink, Name(from), Name(to)}, [&] { return ForwardingFiles::LinkNew(from, to); });
  }
  std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return Step({FileOp::kRename, Name(from), Name(to)}, [&] { return ForwardingFiles::RenameNew(from, to); });
  }
  std::error_code Flush(const std::filesystem::path& file) override {
    return Step({FileOp::kFlush, Name(file), ""}, [&] { return ForwardingFiles::Flush(file); });
  }
  std::error_code FlushFolder(const std::filesystem::path& folder) override {
    return Step({FileOp::kFlushFolder, "", ""}, [&] { return ForwardingFiles::FlushFolder(folder); });
  }

  std::error_code Remove(const std::filesystem::path& file) override {
    return Step({FileOp::kRemove, Name(file), ""}, [&] { return ForwardingFiles::Remove(file); });
  }

  /// The steps, creations aside, in order.
  std::vector<FileOp> Steps() const {
    std::vector<FileOp> steps;
    for (const FileOp& op : ops) {
      if (op.kind != FileOp::kCreate || !op.b.empty()) steps.push_back(op);
    }
    return steps;
  }

 private:
  static std::string Name(const std::filesystem::path& path) { return PathToUtf8(path.filename()); }
  // A failed step changed nothing, and is not recorded as a change.
  template <typename Do>
  std::error_code Step(FileOp op, Do act) {
    const int step = ++steps_;
    const bool killed = dies && failAt != 0 && step >= failAt;
    op.done = !killed && failing.count(step) == 0 && step != failAt;
    ops.push_back(op);
    if (op.done) {
      const std::error_code ec = act();
      ops.back().done = !ec;
      return ec;
    }
    return killed ? std::error_code() : std::make_error_code(std::errc::permission_denied);
  }
  int steps_ = 0;
};

/// Splits the replay `replay` (its bytes), as the file `input`, into `folder` through `files`,
/// replacing any older outputs; the error, or "no error".
inline std::string CommitReplay(FileSystem& files, const std::string& replay, const std::filesystem::path& folder,
                                const std::filesystem::path& input) {
  std::istringstream in(replay);
  CommitOptions options;
  options.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kReplace; };
  options.sameRace = [](std::istream& a, std::istream& b) { return SameRace(a, b); };
  FileOutputStore store(files, folder, input, options);
  NullProgress progress;
  try {
    SplitReplay(in, "race.rpl", false, progress, store);
  } catch (const ReplayError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace vehisect::testing
