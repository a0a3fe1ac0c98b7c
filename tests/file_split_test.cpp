#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "memory_store.h"
#include "fake_window.h"
#include "replay/base/error.h"
#include "replay/commit/folder_lock.h"
#include "replay/run/names.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes and the replay builder
using Names = std::set<std::string>;

class FileSplitTest : public ::testing::Test {
 protected:
  TempFolder folder;
  ReplayBuilder replay;
  FakeWindow window;

  FileSplitTest() { replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")}; }

  SplitResult Split(const std::filesystem::path& input) {
    return SplitReplay(input, false, window, folder.path());
  }

  std::string ErrorOf(const std::filesystem::path& input) {
    try {
      Split(input);
    } catch (const ReplayError& e) {
      return e.what();
    }
    return "no error";
  }

  std::string Shown(const std::string& name) const { return PathToUtf8(folder.path() / name); }
};

TEST_F(FileSplitTest, WritesTheSameBytesAsTheStreamRunAndNothingElse) {
  const auto input = folder.Write("race.rpl", replay.Build());
  const SplitResult result = Split(input);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));

  std::istringstream in(replay.Build());
  MemoryOutputStore memory;
  FakeWindow quiet;
  SplitReplay(in, "race.rpl", false, quiet, memory);
  for (const auto& [name, bytes] : memory.files()) EXPECT_EQ(folder.Read(name), bytes) << name;
}

TEST_F(FileSplitTest, ReplacesAnOlderOutputOnlyWhenTheRunSucceeds) {
  folder.Write("VH_CANYON_Ann.rpl", "old");
  replay.recordCount = "4";  // one record more than the file holds
  const auto input = folder.Write("race.rpl", replay.Build());
  EXPECT_EQ(ErrorOf(input),
            PathToUtf8(input) + ":72: expected the \"type,time\" label line, found the end of the file, in record 4 of 4");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl"}));
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), "old");

  replay.recordCount = "";
  SplitOptions replace;
  replace.commit.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kReplace; };
  SplitReplay(folder.Write("race.rpl", replay.Build()), replace, window, folder.path());
  EXPECT_NE(folder.Read("VH_CANYON_Ann.rpl"), "old");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(FileSplitTest, NeverOverwritesTheReplayItself) {
  const std::string original = replay.Build();
  const auto input = folder.Write("VH_CANYON_Bo.rpl", original);
  EXPECT_EQ(ErrorOf(input), Shown("VH_CANYON_Bo.rpl") +
                               ": expected an output name other than the replay being split, "
                               "found the replay itself");
  EXPECT_EQ(folder.Read("VH_CANYON_Bo.rpl"), original);
  EXPECT_EQ(folder.Names(), Names{"VH_CANYON_Bo.rpl"});
}

TEST_F(FileSplitTest, RefusesANameTakenByAFolder) {
  std::filesystem::create_directory(folder.path() / "VH_CANYON_Bo.rpl");
  const auto input = folder.Write("race.rpl", replay.Build());
  EXPECT_EQ(ErrorOf(input), Shown("VH_CANYON_Bo.rpl") +
                                ": expected a file name free for the output, found something "
                                "other than a file there");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(FileSplitTest, ShortensADriverTooLongForTheFileSystem) {
  // 255 is the longest name: bytes of UTF-8 on Linux, where the letter e acute (byte 0xE9) is
  // two, and UTF-16 units on Windows. Wine keeps its files under Linux names, so there the
  // letter is one that is one byte in both.
#ifdef _WIN32
  const char letter = 'e';
  const std::string first(241, letter), second(240, letter);
#else
  const char letter = '\xe9';
  const std::string first(120, letter), second(120, letter);
#endif
  replay.vehicles = {{"a.trk", std::string(300, letter)}, {"b.trk", std::string(300, letter) + "x"}};
  const auto input = folder.Write("race.rpl", replay.Build());
  const SplitResult result = Split(input);
  // Shortened alike, the second gets its position, as any repeated name does.
  EXPECT_EQ(result.outputs, (std::vector<std::string>{"VH_CANYON_" + first + ".rpl", "VH_CANYON_" + second + "2.rpl"}));
  for (const std::string& name : result.outputs) {
    EXPECT_LE(OutputPath("", name).filename().native().size(), 255u);
    EXPECT_GE(OutputPath("", name).filename().native().size(), 254u);
    // The driver line inside the output keeps its whole text.
    EXPECT_NE(folder.Read(OutputPath("", name)).find("\r\n" + std::string(300, letter)), std::string::npos);
  }
  EXPECT_EQ(folder.Names().size(), 3u);
}

TEST_F(FileSplitTest, NamesFilesInUnicodeFromWindows1252Drivers) {
  replay.vehicles = {{"a.trk", "Jos\xe9"}, {"b.trk", "\x80uro\x81"}};
  const auto input = folder.Write("race.rpl", replay.Build());
  const SplitResult result = Split(input);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Jos\u00e9.rpl", "VH_CANYON_\u20acuro\u0081.rpl"}));
  EXPECT_EQ(PathToUtf8(OutputPath("", result.outputs[0])), "VH_CANYON_Jos\u00e9.rpl");
  // The file keeps the game's bytes.
  EXPECT_NE(folder.Read(u8"VH_CANYON_Jos\u00e9.rpl").find("\r\na.trk\r\nJos\xe9\r\n"), std::string::npos);
}

TEST_F(FileSplitTest, RejectsInputsThatAreNotReplayFiles) {
  const std::string missing = PathToUtf8(folder.path() / "missing.rpl");
  EXPECT_EQ(ErrorOf(folder.path() / "missing.rpl"), missing + ": expected a replay file, found no such file");
  EXPECT_EQ(ErrorOf(folder.path()), PathToUtf8(folder.path()) + ": expected a replay file, found that it is a folder, not a replay");
  const auto empty = folder.Write("empty.rpl", "");
  EXPECT_EQ(ErrorOf(empty), PathToUtf8(empty) +
                                ":1: expected the \"demoLevel\" label line, found the end of the file");
#ifndef _WIN32
  const auto fifo = folder.path() / "pipe.rpl";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf(fifo), PathToUtf8(fifo) + ": expected a replay file, found a special file");
#endif
  EXPECT_TRUE(window.calls.empty());
}

// The file operations of a commit as a log, with the run's part of temporary names as "*";
// from step `failAt` on, the step fails, or, when `dies`, it and every later one does nothing,
// as when the program is killed there.
class LoggedFiles : public FileSystem {
 public:
  std::vector<std::string> log;
  int failAt = 0;
  bool dies = false;
  std::set<int> failing;  // further steps that fail

  std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return Step("rename " + Name(from) + " " + Name(to), [&] { return FileSystem::Rename(from, to); });
  }
  std::error_code Keep(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return Step("keep " + Name(from) + " " + Name(to), [&] { return FileSystem::Keep(from, to); });
  }
  std::error_code Flush(const std::filesystem::path& file) override {
    return Step("flush " + Name(file), [&] { return FileSystem::Flush(file); });
  }
  std::error_code FlushFolder(const std::filesystem::path& folder) override {
    return Step("flush the folder", [&] { return FileSystem::FlushFolder(folder); });
  }
  std::error_code Remove(const std::filesystem::path& file) override {
    return Step("remove " + Name(file), [&] { return FileSystem::Remove(file); });
  }

 private:
  static std::string Name(const std::filesystem::path& path) {
    const std::string name = PathToUtf8(path.filename());
    const std::size_t run = name.find(".vehisect-");
    return run == std::string::npos ? name : name.substr(0, run) + ".*" + name.substr(name.rfind('.'));
  }
  template <typename Do>
  std::error_code Step(const std::string& what, Do act) {
    log.push_back(what);
    const int step = static_cast<int>(log.size());
    if (failing.count(step) == 0 && (failAt == 0 || step < failAt || (!dies && step > failAt))) return act();
    return dies ? std::error_code() : std::make_error_code(std::errc::permission_denied);
  }
};

class CommitTest : public FileSplitTest {
 protected:
  const Names before = {"VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"};
  const Names after = {"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl", "VH_CANYON_Cy.rpl"};
  TempFolder out;

  CommitTest() {
    replay.vehicles.push_back({"truck.trk", "Cy"});
    replay.records.push_back(Vehicle("v2", "2"));
  }

  // Empties `out` but for the older outputs.
  void Reset() {
    std::filesystem::remove_all(out.path());
    std::filesystem::create_directory(out.path());
    for (const std::string& name : before) out.Write(name, "old " + name);
  }

  // Splits the replay into `out` through `files`; the error, or "no error".
  std::string Commit(FileSystem& files) {
    std::istringstream in(replay.Build());
    CommitOptions options;
    options.files = &files;
    options.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kReplace; };
    FileOutputStore store(out.path(), folder.path() / "race.rpl", options);
    try {
      SplitReplay(in, "race.rpl", false, window, store);
    } catch (const ReplayError& e) {
      return e.what();
    }
    return "no error";
  }
};

TEST_F(CommitTest, FlushesEveryOutputBeforeAnOlderFileGivesWayAndRemovesItLast) {
  LoggedFiles fresh;
  EXPECT_EQ(Commit(fresh), "no error");
  // Into a folder without older files nothing can be lost, so nothing is flushed.
  EXPECT_EQ(fresh.log, (std::vector<std::string>{"rename VH_CANYON_Ann.rpl.*.new VH_CANYON_Ann.rpl",
                                                 "rename VH_CANYON_Bo.rpl.*.new VH_CANYON_Bo.rpl",
                                                 "rename VH_CANYON_Cy.rpl.*.new VH_CANYON_Cy.rpl"}));
  std::filesystem::remove(out.path() / "VH_CANYON_Bo.rpl");
  LoggedFiles again;
  EXPECT_EQ(Commit(again), "no error");
  EXPECT_EQ(again.log, (std::vector<std::string>{
                           "flush VH_CANYON_Ann.rpl.*.new", "flush VH_CANYON_Bo.rpl.*.new",
                           "flush VH_CANYON_Cy.rpl.*.new",
                           "keep VH_CANYON_Ann.rpl VH_CANYON_Ann.rpl.*.old",
                           "rename VH_CANYON_Ann.rpl.*.new VH_CANYON_Ann.rpl",
                           "rename VH_CANYON_Bo.rpl.*.new VH_CANYON_Bo.rpl",
                           "keep VH_CANYON_Cy.rpl VH_CANYON_Cy.rpl.*.old",
                           "rename VH_CANYON_Cy.rpl.*.new VH_CANYON_Cy.rpl", "flush the folder",
                           "remove VH_CANYON_Ann.rpl.*.old", "remove VH_CANYON_Cy.rpl.*.old"}));
  EXPECT_EQ(out.Names(), after);
}

// With any one step failing, every older output keeps its bytes and no file of the run is
// left; a failure once all are in place is only a warning.
TEST_F(CommitTest, AStepThatFailsChangesNothing) {
  constexpr int kSteps = 11;
  for (int k = 1; k <= kSteps; ++k) {
    Reset();
    LoggedFiles files;
    files.failAt = k;
    const std::string error = Commit(files);
    if (k >= 9) {
      EXPECT_EQ(error, "no error") << k;
      for (const std::string& name : after) EXPECT_EQ(out.Read(name).find("old"), std::string::npos) << k;
      continue;
    }
    const char* failed = k == 2 || k == 6 ? "VH_CANYON_Bo.rpl" : k == 1 || k == 4 || k == 5 ? "VH_CANYON_Ann.rpl" : "VH_CANYON_Cy.rpl";
    const char* what = k <= 3   ? "expected to write the output to the disk"
                       : k == 4 || k == 7 ? "expected to keep the older file until the new one is in place"
                       : k == 6 ? "expected to put the output in place"
                                : "expected to replace the output";
    EXPECT_EQ(error, PathToUtf8(out.path() / failed) + ": " + what + ", found Permission denied") << k;
    EXPECT_EQ(out.Names(), before) << k;
    for (const std::string& name : before) EXPECT_EQ(out.Read(name), "old " + name) << k;
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
  for (int k = 1; k <= 11; ++k) {
    Reset();
    for (const std::string& name : {live, alike, kept}) out.Write(name, "live");
    std::filesystem::create_directory(out.path() / folder);
    std::error_code ec;
    const auto claim = SystemFiles().Claim(out.path() / live, ec);
    ASSERT_TRUE(claim) << ec.message();
    {
      LoggedFiles files;
      files.failAt = k;
      files.dies = true;
      Commit(files);
    }
    for (const std::string& name : before) {
      const std::string bytes = out.Read(name);
      EXPECT_TRUE(bytes == "old " + name || bytes.find("\r\nvehicleCount\r\n1\r\n") != std::string::npos) << k << name;
    }
    EXPECT_EQ(Commit(SystemFiles()), "no error");
    Names expected = after;
    expected.insert({live, alike, folder, kept});
    EXPECT_EQ(out.Names(), expected) << k;
  }
}

// An older file that could not be put back is kept under a name of its own, which the message
// gives and no later run takes for a leftover.
TEST_F(CommitTest, AnOlderFileThatCouldNotBePutBackIsKept) {
  Reset();
  LoggedFiles files;
  files.failing = {8, 11, 12};  // the rename of Cy, then the put-back of Ann and its rename aside
  const std::string error = Commit(files);
  EXPECT_EQ(files.log[12], "keep VH_CANYON_Ann.rpl.*.old VH_CANYON_Ann.rpl.*.kept");
  const auto names = out.Names();
  const auto kept = std::find_if(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".kept"); });
  ASSERT_NE(kept, names.end());
  EXPECT_NE(error.find("; then could not put back " + PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") + " (new; its older file is " + *kept + ")"),
            std::string::npos) << error;
  EXPECT_EQ(Commit(SystemFiles()), "no error");
  EXPECT_EQ(out.Read(*kept), "old VH_CANYON_Ann.rpl");
}

// A folder whose entries cannot be listed, or which cannot be locked, is refused before any
// name in it is taken: its leftovers and free names cannot be known, nor other runs kept out.
TEST_F(CommitTest, RefusesAFolderItCannotListOrLock) {
  struct Denied : FileSystem {
    bool list = true;
    std::error_code List(const std::filesystem::path&, std::vector<FolderEntry>&) override {
      return list ? std::make_error_code(std::errc::permission_denied) : std::error_code();
    }
    std::unique_ptr<Hold> TryLockFolder(const std::filesystem::path&, std::error_code& ec) override {
      ec = std::make_error_code(std::errc::no_lock_available);
      return nullptr;
    }
  } denied;
  Reset();
  EXPECT_EQ(Commit(denied), PathToUtf8(out.path()) + ": expected a folder it can lock to put the outputs into, found "
                            "No locks available");
  struct Unlisted : FileSystem {
    std::error_code List(const std::filesystem::path&, std::vector<FolderEntry>&) override {
      return std::make_error_code(std::errc::permission_denied);
    }
  } unlisted;
  EXPECT_EQ(Commit(unlisted), PathToUtf8(out.path()) + ": expected a folder it can list to put the outputs into, found "
                              "Permission denied");
  EXPECT_EQ(out.Names(), before);
  for (const std::string& name : before) EXPECT_EQ(out.Read(name), "old " + name);
}

// The player's answer is awaited with the folder free for other runs.
TEST_F(CommitTest, AsksBeforeTakingTheFoldersLock) {
  Reset();
  std::istringstream in(replay.Build());
  CommitOptions options;
  int asked = 0;
  options.otherRace = [&](const OtherRaceQuestion& question) {
    ++asked;
    EXPECT_EQ(question.files.size(), 2u);
    FolderLock free(SystemFiles(), out.path(), std::chrono::milliseconds(0), nullptr, nullptr);
    return OtherRace::kKeepBoth;
  };
  FileOutputStore store(out.path(), folder.path() / "race.rpl", options);
  EXPECT_EQ(SplitReplay(in, "race.rpl", false, window, store).outputs,
            (std::vector<std::string>{"VH_CANYON_Ann (2).rpl", "VH_CANYON_Bo.rpl", "VH_CANYON_Cy (2).rpl"}));
  EXPECT_EQ(asked, 1);
}

TEST_F(FileSplitTest, OneCommitAtATimeIntoAFolder) {
  const TempFolder out;
  std::optional<FolderLock> first;
  first.emplace(SystemFiles(), out.path(), std::chrono::milliseconds(0), nullptr, nullptr);
  int waited = 0;
  CancelToken stop;
  std::vector<std::string> errors;
  // Threads of their own: on Windows a thread may take its own lock again.
  for (const CancelToken* cancel : {static_cast<CancelToken*>(nullptr), &stop}) {
    std::thread([&] {
      try {
        FolderLock second(SystemFiles(), out.path(), std::chrono::milliseconds(1000), cancel, [&] { ++waited; });
      } catch (const ReplayError& e) {
        errors.push_back(e.what());
      }
    }).join();
    stop.Request();
  }
  EXPECT_EQ(waited, 1);
  EXPECT_EQ(errors, (std::vector<std::string>{
                        PathToUtf8(out.path()) + ": expected to put the outputs into the folder, found another "
                                                 "run still writing to it after 1 s; try again",
                        PathToUtf8(out.path()) + ": expected to split the replay, found the run stopped; no output "
                                                 "was written or changed"}));
  first.reset();
  std::thread([&] { FolderLock again(SystemFiles(), out.path(), std::chrono::milliseconds(0), nullptr, nullptr); }).join();
  EXPECT_EQ(out.Names(), Names{});
}

// A file of the same race is replaced whatever the check box said; any other file is only
// with the caller's leave, or kept, the new output then taking the first name free.
TEST_F(FileSplitTest, ReplacesOnlyTheSameRaceUnlessTold) {
  const auto input = folder.Write("race.rpl", replay.Build());
  const TempFolder out;
  SplitReplay(input, false, window, out.path());
  EXPECT_EQ(SplitReplay(input, true, window, out.path()).outputs, (std::vector<std::string>{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  EXPECT_NE(out.Read("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n777\r\n"), std::string::npos);

  replay.records.push_back(Shared("s2"));
  const auto other = folder.Write("other.rpl", replay.Build());
  const std::string ann = out.Read("VH_CANYON_Ann.rpl");
  out.Write("VH_CANYON_Bo.rpl", "notes");
  out.Write("VH_CANYON_Ann (2).rpl", "");
  out.Write("vh_canyon_ann (3).rpl", "");
  std::vector<OtherRaceQuestion> asked;
  SplitOptions options;
  options.commit.otherRace = [&](const OtherRaceQuestion& question) {
    asked.push_back(question);
    return OtherRace::kStop;
  };
  try {
    SplitReplay(other, options, window, out.path());
    ADD_FAILURE() << "another race's file was replaced";
  } catch (const ReplayError& e) {
    EXPECT_EQ(e.kind(), ReplayError::Kind::kOtherRace);
    EXPECT_EQ(std::string(e.what()), PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") +
                                         ": expected an output of this race or no file, found another race's output; "
                                         "use --replace to replace it or --keep-both to keep both");
  }
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].files, (std::vector<std::string>{PathToUtf8(out.path() / "VH_CANYON_Ann.rpl"),
                                                      PathToUtf8(out.path() / "VH_CANYON_Bo.rpl")}));
  EXPECT_TRUE(asked[0].canReplace);
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), ann);
  EXPECT_EQ(out.Read("VH_CANYON_Bo.rpl"), "notes");

  options.commit.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kKeepBoth; };
  EXPECT_EQ(SplitReplay(other, options, window, out.path()).outputs,
            (std::vector<std::string>{"VH_CANYON_Ann (4).rpl", "VH_CANYON_Bo (2).rpl"}));
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), ann);
  EXPECT_NE(out.Read("VH_CANYON_Ann (4).rpl").find("s2 ipos"), std::string::npos);
  EXPECT_EQ(out.Names().size(), 6u);
}

TEST_F(FileSplitTest, ABatchNeverReplacesItsOwnOutputs) {
  const auto first = folder.Write("race1.rpl", replay.Build());
  replay.records.push_back(Shared("s2"));
  const auto second = folder.Write("race2.rpl", replay.Build());
  Batch batch;
  SplitOptions options;
  options.commit.batch = &batch;
  const TempFolder out;
  SplitReplay(first, options, window, out.path());
  const std::string written = out.Read("VH_CANYON_Ann.rpl");
  try {
    SplitReplay(second, options, window, out.path() / "." / "");
    ADD_FAILURE() << "the second replay replaced the first one's outputs";
  } catch (const ReplayError& e) {
    EXPECT_EQ(std::string(e.what()), PathToUtf8(second) + ": expected outputs of its own, found " +
                                         PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") + " already written from " +
                                         PathToUtf8(first) + " in this run; split it into another folder");
  }
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), written);
  // Another folder is another set of names.
  const TempFolder elsewhere;
  EXPECT_EQ(SplitReplay(second, options, window, elsewhere.path()).outputs.size(), 2u);
}

}  // namespace
}  // namespace vehisect
