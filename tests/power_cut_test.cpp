// A power cut at every step of a commit, as storage engines test theirs: the commit runs once
// through a file system that records its operations, then every disk a power loss could have
// left after each operation is built from that record and checked, and the next run is made
// over it.
//
// What survives a power loss, by the systems' documented rules:
// - Linux: file data once fdatasync(2) has returned; a name's creation, rename, link or removal
//   once fsync(2) on its folder has returned (fsync(2): "Calling fsync() does not necessarily
//   ensure that the entry in the directory containing the file has also reached disk"; ext4
//   gives no more for a rename to a new name). Until then any of them may or may not be there.
// - Windows: file data, and the file's own metadata, its creation included, once
//   FlushFileBuffers has returned; a rename by MoveFileEx with MOVEFILE_WRITE_THROUGH once it
//   has returned ("the function does not return until the file is actually moved on the
//   disk"); links and removals may or may not be there.
// Data not yet durable may be missing, cut at a 4 KiB boundary, or zero past one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "fake_progress.h"
#include "recorded_files.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/commit/outputs.h"
#include "replay/commit/run_files.h"
#include "replay/format/same_race.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes, the replay builder and the temporary folder

// A folder as names of files, and the bytes of each file; a hard link shares its file.
struct Disk {
  std::map<std::string, int> names;
  std::map<int, std::string> bytes;
};

enum class Rules { kLinux, kWindows };

// Which of the changes not yet durable a crash keeps.
enum class Kept { kNone, kAll, kPrefix, kRandom };

// The walk of the recorded operations up to a crash: what each did, and what had become
// durable when the power went.
struct Walk {
  std::vector<int> inode;      // the file each operation named, or created
  std::vector<bool> durable;   // whether the change of names it made is on the disk
  std::set<int> synced;        // files whose data is on the disk
};

Walk WalkTo(const Disk& before, const std::vector<FileOp>& ops, std::size_t crash, Rules rules) {
  Walk walk;
  std::map<std::string, int> names = before.names;
  int next = 1000;
  for (std::size_t i = 0; i < crash; ++i) {
    const FileOp& op = ops[i];
    const int file = op.kind == FileOp::kCreate ? next++ : names.count(op.a) ? names[op.a] : -1;
    walk.inode.push_back(file);
    walk.durable.push_back(rules == Rules::kWindows && op.kind == FileOp::kRename);
    if (op.kind == FileOp::kCreate || op.kind == FileOp::kLink) names[op.kind == FileOp::kCreate ? op.a : op.b] = file;
    if (op.kind == FileOp::kRename) names[op.b] = file;
    if (op.kind == FileOp::kRename || op.kind == FileOp::kRemove) names.erase(op.a);
    if (op.kind == FileOp::kFlush) {
      walk.synced.insert(file);
      // Windows writes a file's own metadata with its data: its creation is durable.
      for (std::size_t j = 0; j < i && rules == Rules::kWindows; ++j) {
        if (ops[j].kind == FileOp::kCreate && walk.inode[j] == file) walk.durable[j] = true;
      }
    }
    if (op.kind == FileOp::kFlushFolder && rules == Rules::kLinux) {
      for (std::size_t j = 0; j < i; ++j) walk.durable[j] = true;
    }
  }
  return walk;
}

// The disk a power loss after `crash` operations leaves, keeping `kept` of what was not yet
// durable; `content` holds the bytes each new file had when written.
Disk Crash(const Disk& before, const std::vector<FileOp>& ops, const std::map<int, std::string>& content,
           std::size_t crash, Rules rules, Kept kept, std::size_t prefix, std::mt19937& random) {
  const Walk walk = WalkTo(before, ops, crash, rules);
  Disk disk = before;
  std::size_t pending = 0;
  for (std::size_t i = 0; i < crash; ++i) {
    const FileOp& op = ops[i];
    if (op.kind == FileOp::kFlush || op.kind == FileOp::kFlushFolder) continue;
    if (!walk.durable[i]) {
      const bool keep = kept == Kept::kAll || (kept == Kept::kPrefix && pending < prefix) ||
                        (kept == Kept::kRandom && random() % 2 == 0);
      ++pending;
      if (!keep) continue;
    }
    // A change whose file is not on the disk changes nothing.
    if (op.kind == FileOp::kCreate) disk.names[op.a] = walk.inode[i];
    if (op.kind != FileOp::kCreate && (disk.names.count(op.a) == 0 || disk.names[op.a] != walk.inode[i])) continue;
    if (op.kind == FileOp::kLink || op.kind == FileOp::kRename) disk.names[op.b] = walk.inode[i];
    if (op.kind == FileOp::kRename || op.kind == FileOp::kRemove) disk.names.erase(op.a);
  }
  for (const auto& [name, file] : disk.names) {
    if (before.bytes.count(file) != 0) continue;
    const std::string bytes = content.count(file) ? content.at(file) : "";
    if (walk.synced.count(file) != 0 || kept == Kept::kAll) {
      disk.bytes[file] = bytes;
    } else if (kept != Kept::kRandom) {
      disk.bytes[file] = "";
    } else {
      const std::size_t cut = std::min(bytes.size(), std::size_t{4096} * (random() % 4));
      const bool zeros = random() % 2 == 0;
      disk.bytes[file] = bytes.substr(0, cut) + (zeros ? std::string(bytes.size() - cut, '\0') : "");
    }
  }
  return disk;
}

// The next run's file system: what it makes durable is not what is checked of it, and a real
// flush would make the checks take minutes.
class UnflushedFiles : public ForwardingFiles {
 public:
  UnflushedFiles() : ForwardingFiles(SystemFiles()) {}
  std::error_code Flush(const std::filesystem::path&) override { return {}; }
  std::error_code FlushFolder(const std::filesystem::path&) override { return {}; }
};

class PowerCutTest : public ::testing::Test {
 protected:
  TempFolder root;
  UnflushedFiles unflushed;
  std::size_t states = 0;
  std::set<std::string> runsOver;  // the disks a next run was made over

  // Commits the outputs of `replay` into `folder` through `files`, replacing what is there.
  static std::string Commit(const std::string& replay, const std::filesystem::path& folder, FileSystem& files) {
    return CommitReplay(files, replay, folder, folder / "race.rpl");
  }

  static void Write(const std::filesystem::path& folder, const Disk& disk) {
    std::filesystem::create_directories(folder);
    for (const auto& [name, file] : disk.names) std::ofstream(folder / name, std::ios::binary) << disk.bytes.at(file);
  }

  // Every crash of the commit of a replay of `vehicles` into a folder with or without older
  // outputs, under both rule sets; `fat`: the older files are kept as copies, and the last
  // output's rename fails, so that the others are put back.
  void Explore(int vehicles, bool older, unsigned seed, bool fat = false) {
    ReplayBuilder replay;
    replay.vehicles.clear();
    for (int v = 0; v < vehicles; ++v) replay.vehicles.push_back({"car.trk", "Driver" + std::string(1, 'A' + v)});
    for (int r = 0; r < 90; ++r) replay.records.push_back(r % 3 == 0 ? Shared("s") : Vehicle("v", std::to_string(r % vehicles)));
    const std::string race = replay.Build();

    Disk before;
    before.names = {{"race.rpl", 1}, {"notes.txt", 2}};
    before.bytes = {{1, race}, {2, "the player's notes"}};
    std::vector<std::string> outputs;
    for (int v = 0; v < vehicles; ++v) outputs.push_back("VH_CANYON_Driver" + std::string(1, 'A' + v) + ".rpl");
    for (std::size_t v = 0; older && v < outputs.size(); ++v) {
      before.names[outputs[v]] = static_cast<int>(10 + v);
      before.bytes[static_cast<int>(10 + v)] = "old " + outputs[v];
    }

    const std::filesystem::path first = root.path() / ("first-" + std::to_string(vehicles) + (older ? "-older" : ""));
    Write(first, before);
    std::map<std::string, std::string> fresh;  // each output's new bytes
    const std::filesystem::path clean = root.path() / ("clean-" + std::to_string(vehicles));
    Write(clean, before);
    ASSERT_EQ(Commit(race, clean, unflushed), "no error");
    for (const std::string& output : outputs) fresh[output] = root.Read(clean.filename() / output);
    RecordedFiles recorded(SystemFiles());
    recorded.copies = fat;
    if (fat) {
      // The step of the last output's rename, found in a commit that goes through.
      const std::filesystem::path trial = root.path() / ("trial-" + std::to_string(vehicles));
      Write(trial, before);
      RecordedFiles through(SystemFiles());
      through.copies = true;
      ASSERT_EQ(Commit(race, trial, through), "no error");
      const std::vector<FileOp> steps = through.Steps();
      for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].kind == FileOp::kRename && steps[i].b == outputs.back()) recorded.failAt = static_cast<int>(i + 1);
      }
    }
    const std::string error = Commit(race, first, recorded);
    std::vector<FileOp> ops;  // what was done, in order
    for (const FileOp& op : recorded.ops) {
      if (op.done) ops.push_back(op);
    }
    ASSERT_EQ(error.find(fat ? "expected to replace the output" : "no error") == std::string::npos, false) << error;
    std::map<std::string, std::string> last = fresh;  // what each output holds once the commit has returned
    for (const std::string& output : outputs) {
      if (fat) last[output] = before.bytes.at(before.names.at(output));
    }
    std::map<int, std::string> content;  // the new files' bytes, by the outputs they became
    const Walk all = WalkTo(before, ops, ops.size(), Rules::kLinux);
    for (std::size_t i = 0; i < ops.size(); ++i) {
      const FileOp& op = ops[i];
      const auto run = ParseRunFile(op.a);
      if (op.kind == FileOp::kRename && fresh.count(op.b) && run && run->kind == "new") content[all.inode[i]] = fresh[op.b];
      if (op.kind == FileOp::kCreate && recorded.made.count(op.a)) content[all.inode[i]] = recorded.made[op.a];
    }

    std::mt19937 random(seed);
    for (const Rules rules : {Rules::kLinux, Rules::kWindows}) {
      for (std::size_t crash = 0; crash <= ops.size(); ++crash) {
        std::vector<std::pair<Kept, std::size_t>> kinds = {{Kept::kNone, 0}, {Kept::kAll, 0}};
        for (std::size_t p = 1; p < crash; ++p) kinds.push_back({Kept::kPrefix, p});
        for (int r = 0; r < 6; ++r) kinds.push_back({Kept::kRandom, 0});
        for (const auto& [kept, prefix] : kinds) {
          const Disk disk = Crash(before, ops, content, crash, rules, kept, prefix, random);
          SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(vehicles) + " vehicles, " +
                       (older ? "over older files" : "into an empty folder") + ", " +
                       (rules == Rules::kLinux ? "Linux" : "Windows") + ", crash after operation " +
                       std::to_string(crash) + ", kept " + std::to_string(static_cast<int>(kept)) + "/" +
                       std::to_string(prefix));
          Check(disk, before, outputs, fresh, race, crash == ops.size() ? &last : nullptr);
          if (::testing::Test::HasFailure()) return;
        }
      }
    }
  }

  // `last`: the cut came after the commit had returned, when every output must hold these bytes.
  void Check(const Disk& disk, const Disk& before, const std::vector<std::string>& outputs,
             const std::map<std::string, std::string>& fresh, const std::string& race,
             const std::map<std::string, std::string>* last) {
    ++states;
    for (const std::string& output : outputs) {
      const auto named = disk.names.find(output);
      const auto old = before.names.find(output);
      if (named == disk.names.end()) {
        EXPECT_EQ(old, before.names.end()) << output << " lost its older file";
        EXPECT_FALSE(last) << output << " lost after the commit returned";
        continue;
      }
      const std::string& bytes = disk.bytes.at(named->second);
      if (last) {
        EXPECT_EQ(bytes, last->at(output)) << output << " is not as the commit left it";
      }
      EXPECT_TRUE(bytes == fresh.at(output) || (old != before.names.end() && bytes == before.bytes.at(old->second)))
          << output << " is neither whole: " << bytes.size() << " bytes";
    }
    for (const char* kept : {"race.rpl", "notes.txt"}) {
      ASSERT_TRUE(disk.names.count(kept)) << kept << " lost";
      EXPECT_EQ(disk.bytes.at(disk.names.at(kept)), before.bytes.at(before.names.at(kept))) << kept;
    }
    // The next run removes what the cut run left, and ends as a clean run would; over each
    // distinct disk once, as many cuts leave the same.
    std::string key;
    for (const auto& [name, file] : disk.names) key += name + '\0' + disk.bytes.at(file) + '\0';
    if (!runsOver.insert(std::move(key)).second) return;
    const std::filesystem::path next = root.path() / ("next-" + std::to_string(states));
    Write(next, disk);
    ASSERT_EQ(Commit(race, next, unflushed), "no error");
    std::set<std::string> expected = {"race.rpl", "notes.txt"};
    for (const std::string& output : outputs) {
      expected.insert(output);
      EXPECT_EQ(root.Read(next.filename() / output), fresh.at(output));
    }
    // An older file whose run the cut left unknown is kept, never removed.
    for (const std::string& name : TempFolder::NamesIn(next)) {
      const auto run = ParseRunFile(name);
      if (run && run->kind == "old") expected.insert(name);
    }
    EXPECT_EQ(TempFolder::NamesIn(next), expected);
    std::filesystem::remove_all(next);
  }
};

TEST_F(PowerCutTest, EveryNameHoldsAWholeFileAfterACutAtAnyStep) {
  // A failure prints its seed; VEHISECT_SEED=N runs that seed again.
  const char* given = std::getenv("VEHISECT_SEED");
  const unsigned seed = given != nullptr ? static_cast<unsigned>(std::stoul(given)) : std::random_device{}();
  for (const int vehicles : {2, 8}) {
    for (const bool older : {true, false}) {
      Explore(vehicles, older, seed);
      if (HasFailure()) return;
    }
  }
  std::cout << "power cuts: " << states << " crash states checked, " << runsOver.size() << " distinct disks run over\n";
}

// On FAT and exFAT the older file is kept as a copy, and a failed commit puts it back: the copy
// must be on the disk before its name can be.
TEST_F(PowerCutTest, APutBackOnACaseBlindDiskHoldsWholeFiles) {
  const char* given = std::getenv("VEHISECT_SEED");
  const unsigned seed = given != nullptr ? static_cast<unsigned>(std::stoul(given)) : std::random_device{}();
  Explore(3, true, seed, true);
}

}  // namespace
}  // namespace vehisect
