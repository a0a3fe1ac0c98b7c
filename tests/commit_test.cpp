#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <thread>

#include "fake_progress.h"
#include "memory_files.h"
#include "recorded_files.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/process.h"
#include "replay/commit/folder_lock.h"
#include "replay/commit/outputs.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes and the replay builder
using Names = std::set<std::string>;

// The steps of a commit as a log, with the run's part of temporary names as "*".
std::vector<std::string> Log(const RecordedFiles& files) {
  const auto name = [](const std::string& name) {
    const std::size_t run = name.find(".vehisect-");
    return run == std::string::npos ? name : name.substr(0, run) + ".*" + name.substr(name.rfind('.'));
  };
  std::vector<std::string> log;
  for (const FileOp& op : files.Steps()) {
    switch (op.kind) {
      case FileOp::kRename: log.push_back("rename " + name(op.a) + " " + name(op.b)); break;
      case FileOp::kLink: log.push_back("keep " + name(op.a) + " " + name(op.b)); break;
      case FileOp::kCreate: log.push_back("keep " + name(op.b) + " " + name(op.a)); break;
      case FileOp::kFlush: log.push_back("flush " + name(op.a)); break;
      case FileOp::kFlushFolder: log.push_back("flush the folder"); break;
      case FileOp::kRemove: log.push_back("remove " + name(op.a)); break;
    }
  }
  return log;
}

class CommitTest : public ::testing::Test {
 protected:
  MemoryFiles disk;
  MemoryFolder folder{disk, "/replays"};
  ReplayBuilder replay = ThreeVehicleRace();
  FakeProgress progress;
  const Names before = {"VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"};
  const Names after = {"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl", "VH_CANYON_Cy.rpl"};
  MemoryFolder out{disk, "/out"};

  // Empties `out` but for the older outputs.
  void Reset() {
    disk = MemoryFiles();
    for (const std::string& name : before) out.Write(name, "old " + name);
  }

  // Splits the replay into `out` through `files`; the error, or "no error".
  std::string Commit(FileSystem& files) { return CommitReplay(files, replay.Build(), out.path(), folder.path() / "race.rpl"); }
};

TEST_F(CommitTest, FlushesEveryOutputBeforeAnOlderFileGivesWayAndRemovesItLast) {
  RecordedFiles fresh(disk);
  EXPECT_EQ(Commit(fresh), "no error");
  // Into a folder without older files too, so that no name holds a file cut short, and the
  // names are on the disk when the run says it is done.
  // The lock is made whole and on the disk under the run's own name, then given its name.
  const std::vector<std::string> lock = {"flush .vehisect.lock.*.new", "keep .vehisect.lock.*.new .vehisect.lock",
                                         "remove .vehisect.lock.*.new"};
  EXPECT_EQ(Log(fresh), (std::vector<std::string>{lock[0], lock[1], lock[2], "flush VH_CANYON_Ann.rpl.*.new",
                                                 "flush VH_CANYON_Bo.rpl.*.new", "flush VH_CANYON_Cy.rpl.*.new",
                                                 "rename VH_CANYON_Ann.rpl.*.new VH_CANYON_Ann.rpl",
                                                 "rename VH_CANYON_Bo.rpl.*.new VH_CANYON_Bo.rpl",
                                                 "rename VH_CANYON_Cy.rpl.*.new VH_CANYON_Cy.rpl", "flush the folder",
                                                 "remove .vehisect.lock"}));
  disk.Remove(out.path() / "VH_CANYON_Bo.rpl");
  RecordedFiles again(disk);
  EXPECT_EQ(Commit(again), "no error");
  EXPECT_EQ(Log(again), (std::vector<std::string>{
                           lock[0], lock[1], lock[2], "flush VH_CANYON_Ann.rpl.*.new", "flush VH_CANYON_Bo.rpl.*.new",
                           "flush VH_CANYON_Cy.rpl.*.new", "keep VH_CANYON_Ann.rpl VH_CANYON_Ann.rpl.*.old",
                           "flush VH_CANYON_Ann.rpl.*.old", "rename VH_CANYON_Ann.rpl.*.new VH_CANYON_Ann.rpl",
                           "rename VH_CANYON_Bo.rpl.*.new VH_CANYON_Bo.rpl",
                           "keep VH_CANYON_Cy.rpl VH_CANYON_Cy.rpl.*.old", "flush VH_CANYON_Cy.rpl.*.old",
                           "rename VH_CANYON_Cy.rpl.*.new VH_CANYON_Cy.rpl", "flush the folder",
                           "remove VH_CANYON_Ann.rpl.*.old", "remove VH_CANYON_Cy.rpl.*.old",
                           "remove .vehisect.lock"}));
  EXPECT_EQ(out.Names(), after);
}

// With any one step failing before the names are on the disk, every older output keeps its
// bytes and no file of the run is left; a failing flush of the folder fails the run with the
// outputs in place and the older files kept; a failure after it is only a warning, as is the
// removal of the lock file's own name, which the next run removes.
TEST_F(CommitTest, AStepThatFailsChangesNothing) {
  RecordedFiles all(disk);
  Reset();
  Commit(all);
  for (int k = 1; k <= static_cast<int>(Log(all).size()); ++k) {
    Reset();
    RecordedFiles files(disk);
    files.failAt = k;
    const std::string error = Commit(files);
    const std::string step = Log(all)[static_cast<std::size_t>(k - 1)];
    const int folderFlush = 14;
    if (step.find(" .vehisect.lock.*.new") != std::string::npos && !step.starts_with("remove")) {
      EXPECT_EQ(error, PathToUtf8(out.path()) + ": expected a folder it can lock to put the outputs into, found "
                                                "Permission denied");
      EXPECT_EQ(out.Names(), before) << step;
      continue;
    }
    if (k >= folderFlush || step == "remove .vehisect.lock.*.new") {
      EXPECT_EQ(error, k == folderFlush ? PathToUtf8(out.path()) + ": expected to write the folder to the disk, "
                                          "found Permission denied; the outputs are in place but may not "
                                          "survive a power loss"
                                        : "no error")
          << step;
      for (const std::string& name : after) EXPECT_EQ(out.Read(name).find("old"), std::string::npos) << step;
      EXPECT_EQ(out.Names().size(), k == folderFlush ? 5u : 4u) << step;
      continue;
    }
    const std::size_t name = step.find("VH_");
    const std::string failed = step.substr(name, step.find(".rpl", name) + 4 - name);
    const char* what = step.starts_with("flush") && step.ends_with(".new") ? "expected to write the output to the disk"
                       : step.starts_with("rename") ? (failed == "VH_CANYON_Bo.rpl" ? "expected to put the output in place"
                                                                                       : "expected to replace the output")
                                                    : "expected to keep the older file until the new one is in place";
    EXPECT_EQ(error, PathToUtf8(out.path() / failed) + ": " + what + ", found Permission denied") << step;
    EXPECT_EQ(out.Names(), before) << step;
    for (const std::string& name : before) EXPECT_EQ(out.Read(name), "old " + name) << step;
  }
}

// A run killed at any step leaves every name whole, old or new; the next run into the folder
// removes what the killed run left, but never the files of a run still going, whatever its
// process, nor anything that only looks like a leftover.
TEST_F(CommitTest, AKilledCommitLeavesWholeFilesThatTheNextRunCleansUp) {
  const RunId going = NewRun();
  const std::string live = "VH_CANYON_Ann.rpl" + RunFileTail({going, 1, "new"});
  const std::string alike = "VH_CANYON_Ann.rpl.vehisect-1-" + going.run + "-x.old";
  const std::string folder = "VH_CANYON_Ann.rpl" + RunFileTail({going, 2, "old"});
  const std::string kept = "VH_CANYON_Ann.rpl" + RunFileTail({going, 3, "kept"});
  for (int k = 1; k <= 13; ++k) {
    Reset();
    for (const std::string& name : {live, alike, kept}) out.Write(name, "live");
    disk.CreateFolders(out.path() / folder);
    std::error_code ec;
    const auto claim = disk.Claim(out.path() / live, ec);
    ASSERT_TRUE(claim) << ec.message();
    {
      RecordedFiles files(disk);
      files.failAt = k;
      files.dies = true;
      Commit(files);
    }
    for (const std::string& name : before) {
      const std::string bytes = out.Read(name);
      EXPECT_TRUE(bytes == "old " + name || bytes.find("\r\nvehicleCount\r\n1\r\n") != std::string::npos) << k << name;
    }
    EXPECT_EQ(Commit(disk), "no error");
    Names expected = after;
    expected.insert({live, alike, folder, kept});
    // Where the killed run had put an output in place, its older file may be the only copy.
    for (const std::string& name : out.Names()) {
      if (expected.count(name) != 0) continue;
      EXPECT_TRUE(k >= 10 && name.ends_with("-1.old")) << k << name;
      EXPECT_EQ(out.Read(name), "old VH_CANYON_Ann.rpl") << k;
    }
    EXPECT_GE(out.Names().size(), expected.size()) << k;
  }
}

// An older file that could not be put back is kept under a name of its own, which the message
// gives; where it cannot be moved aside either, the message names where it is, and says so
// when the lock file cannot be removed either (a disk turned read-only). No later run takes
// either for a leftover, though it takes the lock left behind for a stopped run's.
TEST_F(CommitTest, AnOlderFileThatCouldNotBePutBackIsKept) {
  struct LockKept : RecordedFiles {
    using RecordedFiles::RecordedFiles;
    bool keepLock = false;
    std::error_code Remove(const std::filesystem::path& file) override {
      if (keepLock && file.filename() == kLockFileName) return std::make_error_code(std::errc::read_only_file_system);
      return RecordedFiles::Remove(file);
    }
  };
  // The rename of Cy, then the put-back of Ann and its rename aside; then its copy aside too;
  // then the lock's removal.
  for (const int variant : {0, 1, 2}) {
    Reset();
    LockKept files(disk);
    files.failing = variant == 0 ? std::set<int>{13, 16, 17} : std::set<int>{13, 16, 17, 18};
    files.keepLock = variant == 2;
    const std::string error = Commit(files);
    EXPECT_EQ(Log(files)[17], "keep VH_CANYON_Ann.rpl.*.old VH_CANYON_Ann.rpl.*.kept");
    const std::string kind = variant == 0 ? ".kept" : ".old";
    const auto names = out.Names();
    const auto kept = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return n.ends_with(kind); });
    ASSERT_NE(kept, names.end());
    EXPECT_NE(error.find("; then could not put back " + PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") +
                         " (new; its older file is " + *kept + ")"),
              std::string::npos)
        << error;
    EXPECT_EQ(error.ends_with("; then could not remove the lock file " + PathToUtf8(out.path() / kLockFileName) +
                              " (Read-only file system)"),
              variant == 2)
        << error;
    EXPECT_EQ(names.count(kLockFileName), variant == 2 ? 1u : 0u);
    EXPECT_EQ(Commit(disk), "no error");
    EXPECT_EQ(Commit(disk), "no error");
    EXPECT_EQ(out.Read(*kept), "old VH_CANYON_Ann.rpl");
  }
}

// The next run removes a leftover only when its run is proven gone: of this computer, its
// process ended, and its claim free; an older output only where it is redundant. What it
// leaves it names, links among them, but never this run's own files.
TEST_F(CommitTest, RemovesOnlyTheLeftoversOfRunsProvenGone) {
  const std::string here = NewRun().run.substr(0, 8);
  const auto left = [](unsigned long process, const std::string& host, std::size_t k, const char* kind) {
    return "VH_CANYON_Ann.rpl" + RunFileTail({{process, host + "01234567"}, k, kind});
  };
  const std::string gone = left(999999999, here, 1, "new"), claimed = left(ThisProcess(), here, 1, "new"),
                    free = left(ThisProcess(), here, 2, "new"), elsewhere = left(999999999, "ffffffff", 1, "new"),
                    same = left(999999999, here, 1, "old"), only = left(999999999, here, 3, "old"),
                    link = left(999999999, here, 4, "new");
  for (const bool locks : {true, false}) {
    MemoryFiles files;
    files.Write(out.path() / "VH_CANYON_Ann.rpl", "old VH_CANYON_Ann.rpl");
    for (const std::string& name : {gone, claimed, free, elsewhere, only}) files.Write(out.path() / name, "left");
    files.Write(out.path() / same, "old VH_CANYON_Ann.rpl");
    files.symlinks.insert(out.path() / link);
    std::error_code ec;
    const auto live = files.Claim(out.path() / claimed, ec);
    files.locks = locks;
    std::vector<std::string> notices;
    CommitOptions options;
    options.notice = [&](const std::string& notice) { notices.push_back(notice); };
    options.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kReplace; };
    std::istringstream in(replay.Build());
    FileOutputStore store(files, out.path(), folder.path() / "race.rpl", options);
    SplitReplay(in, "race.rpl", false, progress, store);
    const auto path = [&](const std::string& name) { return PathToUtf8(out.path() / name); };
    // Where no claim can be had, nothing is proven: all is named, in the folder's order.
    std::vector<std::string> expected;
    if (locks) {
      expected = {"removed " + path(gone) + ", left by an earlier run", "removed " + path(same) + ", left by an earlier run",
                  "removed " + path(free) + ", left by an earlier run"};
    }
    const std::string named = locks ? path(only) + ", " + path(elsewhere) + ", " + path(link)
                                    : path(claimed) + ", " + path(free) + ", " + path(gone) + ", " + path(same) + ", " +
                                          path(only) + ", " + path(elsewhere) + ", " + path(link);
    expected.push_back("left " + named + ": another run may still need them, or they hold older outputs; remove "
                                         "them yourself once no Vehisect runs there");
    std::sort(expected.begin(), expected.end() - 1);
    std::sort(notices.begin(), notices.end() - 1);
    EXPECT_EQ(notices, expected) << locks;
  }
}

// A folder whose entries cannot be listed, or which cannot be locked, is refused before any
// name in it is taken: its leftovers and free names cannot be known, nor other runs kept out.
TEST_F(CommitTest, RefusesAFolderItCannotListOrLock) {
  struct Denied : ForwardingFiles {
    using ForwardingFiles::ForwardingFiles;
    bool list = true;
    std::error_code List(const std::filesystem::path&, std::vector<FolderEntry>&) override {
      return list ? std::make_error_code(std::errc::permission_denied) : std::error_code();
    }
    std::unique_ptr<Hold> CreateNew(const std::filesystem::path&, const std::string&, std::error_code& ec) override {
      ec = std::make_error_code(std::errc::read_only_file_system);
      return nullptr;
    }
  } denied(disk);
  Reset();
  EXPECT_EQ(Commit(denied), PathToUtf8(out.path()) + ": expected a folder it can lock to put the outputs into, found "
                            "Read-only file system");
  struct Unlisted : ForwardingFiles {
    using ForwardingFiles::ForwardingFiles;
    std::error_code List(const std::filesystem::path&, std::vector<FolderEntry>&) override {
      return std::make_error_code(std::errc::permission_denied);
    }
  } unlisted(disk);
  EXPECT_EQ(Commit(unlisted), PathToUtf8(out.path()) + ": expected a folder it can list to put the outputs into, found "
                              "Permission denied");
  EXPECT_EQ(out.Names(), before);
  for (const std::string& name : before) EXPECT_EQ(out.Read(name), "old " + name);
}

// The player's answer is awaited with the folder free for other runs.
TEST_F(CommitTest, AsksBeforeTakingTheFoldersLock) {
  MemoryFiles files;
  for (const std::string& name : before) files.Write(out.path() / name, "old " + name);
  std::istringstream in(replay.Build());
  CommitOptions options;
  int asked = 0;
  options.otherRace = [&](const OtherRaceQuestion& question) {
    ++asked;
    EXPECT_EQ(question.files.size(), 2u);
    FolderLock free(files, out.path(), std::chrono::milliseconds(0), nullptr, nullptr);
    return OtherRace::kKeepBoth;
  };
  FileOutputStore store(files, out.path(), folder.path() / "race.rpl", options);
  EXPECT_EQ(SplitReplay(in, "race.rpl", false, progress, store).outputs,
            (std::vector<std::string>{"VH_CANYON_Ann (2).rpl", "VH_CANYON_Bo.rpl", "VH_CANYON_Cy (2).rpl"}));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(files.Names(out.path()), (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_Ann (2).rpl", "VH_CANYON_Bo.rpl",
                                            "VH_CANYON_Cy.rpl", "VH_CANYON_Cy (2).rpl"}));
}

TEST_F(CommitTest, OneCommitAtATimeIntoAFolder) {
  std::optional<FolderLock> first;
  first.emplace(disk, out.path(), std::chrono::milliseconds(0), nullptr, nullptr);
  int waited = 0;
  CancelToken stop;
  std::vector<std::string> errors;
  // Threads of their own: on Windows a thread may take its own lock again.
  for (const CancelToken* cancel : {static_cast<CancelToken*>(nullptr), &stop}) {
    std::thread([&] {
      try {
        FolderLock second(disk, out.path(), std::chrono::milliseconds(1000), cancel, [&] { ++waited; });
      } catch (const ReplayError& e) {
        errors.push_back(e.what());
      }
    }).join();
    stop.Request();
  }
  EXPECT_EQ(waited, 1);
  EXPECT_EQ(errors, (std::vector<std::string>{
                        PathToUtf8(out.path() / ".vehisect.lock") +
                            ": expected to put the outputs into the folder, found another run still writing to it "
                            "after 1 s; try again",
                        PathToUtf8(out.path()) + ": expected to split the replay, found the run stopped; no output "
                                                 "was written or changed"}));
  first.reset();
  std::thread([&] { FolderLock again(disk, out.path(), std::chrono::milliseconds(0), nullptr, nullptr); }).join();
  EXPECT_EQ(out.Names(), Names{});
}

}  // namespace
}  // namespace vehisect
