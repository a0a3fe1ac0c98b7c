#include <gtest/gtest.h>

#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "memory_files.h"
#include "memory_store.h"
#include "fake_progress.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes and the replay builder
using Names = std::set<std::string>;

// In memory, but where a test is of what a real disk does.
class FileSplitTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  MemoryFolder folder{files, "/races"};
  ReplayBuilder replay;
  FakeProgress progress;

  FileSplitTest() { replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")}; }

  SplitResult Split(const std::filesystem::path& input, FileSystem* on = nullptr) {
    return SplitReplay(on != nullptr ? *on : files, input, false, progress, input.parent_path());
  }

  std::string ErrorOf(const std::filesystem::path& input, FileSystem* on = nullptr) {
    try {
      Split(input, on);
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
  FakeProgress quiet;
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
  CommitOptions replace;
  replace.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kReplace; };
  SplitReplay(files, folder.Write("race.rpl", replay.Build()), SplitOptions(), progress, folder.path(), replace);
  EXPECT_NE(folder.Read("VH_CANYON_Ann.rpl"), "old");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

// Under its own name, or one that a case-blind file system takes for it.
TEST_F(FileSplitTest, NeverOverwritesTheReplayItself) {
  const std::string original = replay.Build();
  for (const std::string name : {"VH_CANYON_Bo.rpl", "vh_canyon_bo.RPL"}) {
    const auto input = folder.Write(name, original);
    EXPECT_EQ(ErrorOf(input), Shown("VH_CANYON_Bo.rpl") +
                                 ": expected an output name other than the replay being split, "
                                 "found the replay itself");
    EXPECT_EQ(folder.Read(name), original);
    EXPECT_EQ(folder.Names(), Names{name});
    files.Remove(input);
  }
}

// The system's own test of one file under two names: a hard link to the replay.
TEST_F(FileSplitTest, NeverOverwritesTheReplayThroughAHardLink) {
  const TempFolder disk;
  const auto input = disk.Write("race.rpl", replay.Build());
  std::filesystem::create_hard_link(input, disk.path() / "VH_CANYON_Bo.rpl");
  EXPECT_EQ(ErrorOf(input, &SystemFiles()), PathToUtf8(disk.path() / "VH_CANYON_Bo.rpl") +
                                                 ": expected an output name other than the replay being split, "
                                                 "found the replay itself");
  EXPECT_EQ(disk.Read("race.rpl"), replay.Build());
}

TEST_F(FileSplitTest, RefusesANameTakenByAFolder) {
  const TempFolder disk;
  std::filesystem::create_directory(disk.path() / "VH_CANYON_Bo.rpl");
  const auto input = disk.Write("race.rpl", replay.Build());
  EXPECT_EQ(ErrorOf(input, &SystemFiles()), PathToUtf8(disk.path() / "VH_CANYON_Bo.rpl") +
                                                 ": expected a file name free for the output, found something "
                                                 "other than a file there");
  EXPECT_EQ(disk.Names(), (Names{"race.rpl", "VH_CANYON_Bo.rpl"}));
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
  const TempFolder disk;
  const auto input = disk.Write("race.rpl", replay.Build());
  const SplitResult result = Split(input, &SystemFiles());
  // Shortened alike, the second gets its position, as any repeated name does.
  EXPECT_EQ(result.outputs, (std::vector<std::string>{"VH_CANYON_" + first + ".rpl", "VH_CANYON_" + second + "2.rpl"}));
  for (const std::string& name : result.outputs) {
    EXPECT_LE(OutputPath("", name).filename().native().size(), 255u);
    EXPECT_GE(OutputPath("", name).filename().native().size(), 254u);
    // The driver line inside the output keeps its whole text.
    EXPECT_NE(disk.Read(OutputPath("", name)).find("\r\n" + std::string(300, letter)), std::string::npos);
  }
  EXPECT_EQ(disk.Names().size(), 3u);
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
  const TempFolder disk;
  FileSystem* const on = &SystemFiles();
  const std::string missing = PathToUtf8(disk.path() / "missing.rpl");
  EXPECT_EQ(ErrorOf(disk.path() / "missing.rpl", on), missing + ": expected a replay file, found no such file");
  EXPECT_EQ(ErrorOf(disk.path(), on), PathToUtf8(disk.path()) + ": expected a replay file, found that it is a folder, not a replay");
  const auto empty = disk.Write("empty.rpl", "");
  EXPECT_EQ(ErrorOf(empty, on), PathToUtf8(empty) +
                                    ":1: expected the \"demoLevel\" label line, found the end of the file");
#ifndef _WIN32
  const auto fifo = disk.path() / "pipe.rpl";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf(fifo, on), PathToUtf8(fifo) + ": expected a replay file, found a special file");
#endif
  EXPECT_TRUE(progress.calls.empty());
}

// A file of the same race is replaced whatever the check box said; any other file is only
// with the caller's leave, or kept, the new output then taking the first name free.
TEST_F(FileSplitTest, ReplacesOnlyTheSameRaceUnlessTold) {
  const auto input = folder.Write("race.rpl", replay.Build());
  const MemoryFolder out(files, "/out");
  SplitReplay(files, input, false, progress, out.path());
  EXPECT_EQ(SplitReplay(files, input, true, progress, out.path()).outputs, (std::vector<std::string>{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  EXPECT_NE(out.Read("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n777\r\n"), std::string::npos);

  replay.records.push_back(Shared("s2"));
  const auto other = folder.Write("other.rpl", replay.Build());
  const std::string ann = out.Read("VH_CANYON_Ann.rpl");
  out.Write("VH_CANYON_Bo.rpl", "notes");
  out.Write("VH_CANYON_Ann (2).rpl", "");
  out.Write("vh_canyon_ann (3).rpl", "");
  std::vector<OtherRaceQuestion> asked;
  CommitOptions options;
  options.otherRace = [&](const OtherRaceQuestion& question) {
    asked.push_back(question);
    return OtherRace::kStop;
  };
  try {
    SplitReplay(files, other, SplitOptions(), progress, out.path(), options);
    ADD_FAILURE() << "another race's file was replaced";
  } catch (const ReplayError& e) {
    EXPECT_EQ(e.kind(), ReplayError::Kind::kOtherRace);
    EXPECT_EQ(std::string(e.what()), PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") +
                                         ": expected an output of this race or no file, found another race's output");
  }
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].files, (std::vector<std::filesystem::path>{out.path() / "VH_CANYON_Ann.rpl",
                                                                out.path() / "VH_CANYON_Bo.rpl"}));
  EXPECT_TRUE(asked[0].canReplace);
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), ann);
  EXPECT_EQ(out.Read("VH_CANYON_Bo.rpl"), "notes");

  options.otherRace = [](const OtherRaceQuestion&) { return OtherRace::kKeepBoth; };
  EXPECT_EQ(SplitReplay(files, other, SplitOptions(), progress, out.path(), options).outputs,
            (std::vector<std::string>{"VH_CANYON_Ann (4).rpl", "VH_CANYON_Bo (2).rpl"}));
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), ann);
  EXPECT_NE(out.Read("VH_CANYON_Ann (4).rpl").find("s2 ipos"), std::string::npos);
  EXPECT_EQ(out.Names().size(), 6u);
}

TEST_F(FileSplitTest, ABatchNeverReplacesItsOwnOutputs) {
  const auto first = folder.Write("race1.rpl", replay.Build());
  replay.records.push_back(Shared("s2"));
  const auto second = folder.Write("race2.rpl", replay.Build());
  Batch batch(files, {});
  CommitOptions options;
  options.batch = &batch;
  const MemoryFolder out(files, "/out");
  SplitReplay(files, first, SplitOptions(), progress, out.path(), options);
  const std::string written = out.Read("VH_CANYON_Ann.rpl");
  try {
    SplitReplay(files, second, SplitOptions(), progress, out.path() / "." / "", options);
    ADD_FAILURE() << "the second replay replaced the first one's outputs";
  } catch (const ReplayError& e) {
    EXPECT_EQ(std::string(e.what()), PathToUtf8(second) + ": expected outputs of its own, found " +
                                         PathToUtf8(out.path() / "VH_CANYON_Ann.rpl") + " already written from " +
                                         PathToUtf8(first) + " in this run; split it into another folder");
  }
  EXPECT_EQ(out.Read("VH_CANYON_Ann.rpl"), written);
  // Another folder is another set of names.
  EXPECT_EQ(SplitReplay(files, second, SplitOptions(), progress, "/elsewhere", options).outputs.size(), 2u);
}

}  // namespace
}  // namespace vehisect
