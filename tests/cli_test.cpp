// End-to-end runs of vehisect-cli in temporary folders.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_runner.h"
#include "replay/base/system_files.h"
#include "replay/commit/run_files.h"
#include "replay_builder.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using namespace testing;  // the runner, the replay builder and the temporary folder
using Names = std::set<std::string>;

class CliTest : public ::testing::Test {
 protected:
  TempFolder folder;
  ReplayBuilder replay;

  CliTest() { replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")}; }

  Outcome Run(const std::vector<std::string>& args) { return RunCli(folder.path(), args); }
};

TEST_F(CliTest, SplitsEveryReplayAndListsTheFilesWritten) {
  folder.Write("race.rpl", replay.Build());
  const Outcome outcome = Run({"race.rpl"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "VH_CANYON_Ann.rpl\nVH_CANYON_Bo.rpl\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(folder.Read("VH_CANYON_Bo.rpl"),
            "demoLevel\r\nCANYON.SIT\r\nweather\r\n0\r\nvehicleCount\r\n1\r\nvan.trk\r\nBo\r\n"
            "detailLevel\r\n2\r\ndemoRecordPtr\r\n3\r\ndemoRecordCount\r\n3\r\n"
            "Original object locations\r\n1\r\n1.0,2.0,3.0\r\n" +
                ReplayBuilder::Written(replay.records[0]) + ReplayBuilder::Written(replay.records[2]));
}

TEST_F(CliTest, WritesIntoTheOutputFolderWithTheRecordPointer) {
  folder.Write("race.rpl", replay.Build());
  const Outcome outcome = Run({"--use-record-ptr", "-q", "-o", "out dir", "race.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "out dir/VH_CANYON_Ann.rpl\nout dir/VH_CANYON_Bo.rpl\n");
  EXPECT_NE(folder.Read("out dir/VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n777\r\n"), std::string::npos);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "out dir"}));
}

TEST_F(CliTest, GoesOnAfterAFailureAndReportsIt) {
  ReplayBuilder one;
  one.vehicleCount = "1";
  folder.Write("one.rpl", one.Build());
  folder.Write("bad.rpl", "demoLevel\r\n");
  folder.Write("race.rpl", replay.Build());
  const Outcome outcome = Run({"one.rpl", "bad.rpl", "missing.rpl", "race.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "VH_CANYON_Ann.rpl\nVH_CANYON_Bo.rpl\n");
  EXPECT_EQ(outcome.err,
            "vehisect-cli: one.rpl: Only 1 Vehical, Nothing to Rip\n"
            "vehisect-cli: bad.rpl:2: expected the \"demoLevel\" value line, found the end of the file\n"
            "vehisect-cli: missing.rpl: expected a replay file, found no such file\n");
  EXPECT_EQ(folder.Names(), (Names{"one.rpl", "bad.rpl", "race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

// A one-vehicle replay alone in its run is refused, and fails the run as any failure does.
TEST_F(CliTest, ARefusalAloneFailsTheRun) {
  ReplayBuilder one;
  one.vehicleCount = "1";
  folder.Write("one.rpl", one.Build());
  const Outcome outcome = Run({"one.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "vehisect-cli: one.rpl: Only 1 Vehical, Nothing to Rip\n");
}

// The picture of a race is written whole under its name, of the vehicles -v names, never over
// the replay, and over another file only with --replace.
TEST_F(CliTest, DrawsTheRaceIntoAPicture) {
  folder.Write("race.rpl", replay.Build());
  folder.Write("race.svg", "mine");
  Outcome outcome = Run({"--map", "race.svg", "race.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "vehisect-cli: race.svg: expected a file name free for the picture, found a file there; use "
                         "--replace to replace it\n");
  EXPECT_EQ(folder.Read("race.svg"), "mine");
  outcome = Run({"--map", "race.svg", "--replace", "-v", "Bo", "race.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "race.svg\n");
  const std::string svg = folder.Read("race.svg");
  EXPECT_NE(svg.find(">Bo, van.trk, 0:00.0, \u2013</text>"), std::string::npos) << svg;
  EXPECT_EQ(svg.find(">Ann,"), std::string::npos);
  outcome = Run({"--map", "race.rpl", "--replace", "race.rpl"});
  EXPECT_EQ(outcome.err, "vehisect-cli: race.rpl: expected an output name other than the replay being split, found "
                         "the replay itself\n");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "race.svg"}));
}

TEST_F(CliTest, AnswersUsageErrorsHelpAndVersion) {
  const std::string see = "; see 'vehisect-cli --help'\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
      {{}, "no replay given"},
      {{"--frobnicate", "race.rpl"}, "unknown option --frobnicate"},
      {{"-qx", "race.rpl"}, "unknown option -x"},
      {{"race.rpl", "-o"}, "option -o needs a value"},
      {{"-o", "", "race.rpl"}, "option -o needs a value, found an empty one"},
      {{"--output-dir=", "race.rpl"}, "option --output-dir needs a value, found an empty one"},
      {{"--vehicle"}, "option --vehicle needs a value"},
      {{"--quiet=yes", "race.rpl"}, "option --quiet takes no value"},
      {{"--json", "race.rpl"}, "--json goes with --list"},
      {{"--list", "-v", "1", "race.rpl"}, "--vehicle does not go with --list"},
  };
  for (const auto& [args, problem] : usage) {
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.status, 2) << problem;
    EXPECT_EQ(outcome.err, "vehisect-cli: " + problem + see);
  }
  for (const char* help : {"--help", "-h", "-qh"}) {
    const Outcome outcome = Run({help});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("usage: vehisect-cli [--use-record-ptr] [-o DIR] [-v WHICH]... [--replace | --keep-both] [-q] REPLAY...\n", 0), 0u);
    EXPECT_NE(outcome.out.find("  --list "), std::string::npos);
  }
  for (const char* version : {"--version", "-V"}) {
    const Outcome outcome = Run({version});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("vehisect-cli ", 0), 0u);
  }
  EXPECT_TRUE(folder.Names().empty());
}

#ifdef VEHISECT_APP
// The window program answers --help and --version with no display at all, and refuses an
// option it does not know as the command line does.
TEST_F(CliTest, TheWindowProgramAnswersWithoutADisplay) {
  const std::vector<std::string> bare = {
      "sh", "-c", std::string("exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ") + VEHISECT_APP + " \"$@\""};
  Outcome outcome = CliProcess(folder.path(), {"--version"}, bare).Wait();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "vehisect 1.0.0\n");
  outcome = CliProcess(folder.path(), {"-h"}, bare).Wait();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out.rfind("Usage: vehisect [--choose] [REPLAY...]\n", 0), 0u) << outcome.out;
  outcome = CliProcess(folder.path(), {"-v"}, bare).Wait();
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "vehisect: unknown option -v; see 'vehisect --help'\n");
}
#endif

TEST_F(CliTest, TakesOptionsInEveryFormGetoptDoes) {
  folder.Write("race.rpl", replay.Build());
  folder.Write("-race.rpl", replay.Build());
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-qo", "a", "race.rpl"}, {"-oa", "race.rpl"}, {"-q", "-o", "a", "race.rpl"},
           {"--output-dir=a", "race.rpl"}, {"--output-dir", "a", "--", "race.rpl"}}) {
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.status, 0) << args[0] << outcome.err;
    EXPECT_EQ(outcome.out, "a/VH_CANYON_Ann.rpl\na/VH_CANYON_Bo.rpl\n") << args[0];
    std::filesystem::remove_all(folder.path() / "a");
  }
  // After "--" a replay may start with a dash.
  EXPECT_EQ(Run({"-q", "-ob", "--", "-race.rpl"}).status, 0);
  EXPECT_EQ(TempFolder::NamesIn(folder.path() / "b"), (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(CliTest, ABatchThatWouldReplaceItsOwnOutputsFailsTheLaterReplay) {
  folder.Write("race1.rpl", replay.Build());
  replay.records.push_back(Shared("s2"));
  folder.Write("race2.rpl", replay.Build());
  const Outcome outcome = Run({"-o", "out", "race1.rpl", "race2.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "out/VH_CANYON_Ann.rpl\nout/VH_CANYON_Bo.rpl\n");
  EXPECT_EQ(outcome.err, "vehisect-cli: race2.rpl: expected outputs of its own, found out/VH_CANYON_Ann.rpl "
                         "already written from race1.rpl in this run; split it into another folder\n");
  EXPECT_EQ(folder.Read("out/VH_CANYON_Ann.rpl").find("s2 ipos"), std::string::npos);
}

// No output replaces a replay of the run, in either order, nor the replay itself under a
// name that differs only in case, as FAT and exFAT see names.
TEST_F(CliTest, NeverReplacesAReplayOfTheRun) {
  folder.Write("a.rpl", replay.Build());
  ReplayBuilder other = replay;
  other.vehicles = {{"x.trk", "Zed"}, {"y.trk", "Yo"}};
  const std::string otherRace = other.Build();
  folder.Write("VH_CANYON_Ann.rpl", otherRace);
  const std::string refused = "vehisect-cli: a.rpl: expected outputs that replace no replay of this run, found "
                              "VH_CANYON_Ann.rpl, which this run splits too; split it into another folder\n";
  for (const auto& order : {std::vector<std::string>{"a.rpl", "VH_CANYON_Ann.rpl"},
                            std::vector<std::string>{"VH_CANYON_Ann.rpl", "a.rpl"}}) {
    const Outcome outcome = Run(order);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "VH_CANYON_Zed.rpl\nVH_CANYON_Yo.rpl\n");
    EXPECT_EQ(outcome.err, refused);
    EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), otherRace);
  }

  const TempFolder alone;
  alone.Write("vh_canyon_ann.rpl", replay.Build());
  const Outcome outcome = RunCli(alone.path(), {"vh_canyon_ann.rpl"});
  EXPECT_EQ(outcome.err, "vehisect-cli: VH_CANYON_Ann.rpl: expected an output name other than the replay being "
                         "split, found the replay itself\n");
  EXPECT_EQ(alone.Names(), Names{"vh_canyon_ann.rpl"});
}

// The leftovers of a run of this computer whose process has ended are removed by the next run
// into the folder, which says so; those of a run still going stay, and another computer's
// are named and left, as its runs cannot be seen from here.
TEST_F(CliTest, RemovesWhatAKilledRunLeftAndSaysSo) {
  folder.Write("race.rpl", replay.Build());
  const RunId here = NewRun();
  const RunId ended{999999999, here.run};
  const std::string dead = "VH_CANYON_Ann.rpl" + RunFileTail({ended, 1, "new"});
  const std::string live = "VH_CANYON_Ann.rpl" + RunFileTail({here, 1, "new"});  // this test's
  const std::string other = "VH_CANYON_Ann.rpl.vehisect-999999999-0123456789abcdef-1.new";
  for (const std::string& name : {dead, live, other}) folder.Write(name, "partial");
  std::error_code ec;
  const auto claim = SystemFiles().Claim(folder.path() / live, ec);
  const Outcome outcome = Run({"-q", "race.rpl"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "vehisect-cli: removed " + dead + ", left by an earlier run\n"
                         "vehisect-cli: left " + other + ": another run may still need them, or they hold older "
                         "outputs; remove them yourself once no Vehisect runs there\n");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", live, other, "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(CliTest, AsksLeaveToReplaceAnotherRacesOutputs) {
  folder.Write("race1.rpl", replay.Build());
  replay.records.push_back(Shared("s2"));
  folder.Write("race2.rpl", replay.Build());
  ASSERT_EQ(Run({"-q", "race1.rpl"}).status, 0);
  const std::string first = folder.Read("VH_CANYON_Ann.rpl");
  Outcome outcome = Run({"-q", "race2.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "vehisect-cli: VH_CANYON_Ann.rpl: expected an output of this race or no file, found another "
                         "race's output; use --replace to replace it or --keep-both to keep both\n");
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), first);

  outcome = Run({"--list", "race1.rpl"});
  EXPECT_NE(outcome.out.find("  1  buggy.trk  Ann     VH_CANYON_Ann.rpl  1        0:00.0  \u2013         \u2013          same race\n"),
            std::string::npos)
      << outcome.out;
  outcome = Run({"--list", "race2.rpl"});
  EXPECT_NE(outcome.out.find("  #  vehicle    driver  output             records  time    distance  top speed  existing file\n"
                             "  1  buggy.trk  Ann     VH_CANYON_Ann.rpl  1        0:00.0  \u2013         \u2013          another race\n"),
            std::string::npos) << outcome.out;

  outcome = Run({"-q", "--keep-both", "race2.rpl", "race1.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "VH_CANYON_Ann (2).rpl\nVH_CANYON_Bo (2).rpl\nVH_CANYON_Ann.rpl\nVH_CANYON_Bo.rpl\n");
  // Kept both before: the numbered files of this race are its outputs already.
  EXPECT_EQ(Run({"-q", "--keep-both", "race2.rpl"}).out, "VH_CANYON_Ann (2).rpl\nVH_CANYON_Bo (2).rpl\n");
  // The way out of the batch rule, too: a copy of race 1 in the same run.
  std::filesystem::copy_file(folder.path() / "race1.rpl", folder.path() / "copy.rpl");
  outcome = Run({"-q", "--keep-both", "race1.rpl", "copy.rpl"});
  EXPECT_EQ(outcome.out, "VH_CANYON_Ann.rpl\nVH_CANYON_Bo.rpl\nVH_CANYON_Ann (3).rpl\nVH_CANYON_Bo (3).rpl\n");
  EXPECT_EQ(Run({"--replace", "--keep-both", "race2.rpl"}).status, 2);
  EXPECT_EQ(Run({"-q", "--replace", "race2.rpl"}).status, 0);
  EXPECT_NE(folder.Read("VH_CANYON_Ann.rpl").find("s2 ipos"), std::string::npos);
}

TEST_F(CliTest, WritesOnlyTheChosenVehiclesByteForByteAsAFullSplit) {
  replay.vehicles.push_back({"rocket.trk", "Computer"});
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1"), Vehicle("v2", "2"), Shared("s2")};
  folder.Write("race.rpl", replay.Build());
  ASSERT_EQ(Run({"-q", "-o", "all", "race.rpl"}).status, 0);
  const Outcome outcome = Run({"-v", "rocket3", "--vehicle=1", "-o", "some", "race.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "some/VH_CANYON_Ann.rpl\nsome/VH_CANYON_ROCKET3.rpl\n");
  EXPECT_EQ(TempFolder::NamesIn(folder.path() / "some"), (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_ROCKET3.rpl"}));
  for (const char* name : {"VH_CANYON_Ann.rpl", "VH_CANYON_ROCKET3.rpl"}) {
    EXPECT_EQ(folder.Read(std::string("some/") + name), folder.Read(std::string("all/") + name)) << name;
  }

  // Positions together, as one -v.
  EXPECT_EQ(Run({"-q", "-v", "1,3", "-o", "some", "race.rpl"}).out, "some/VH_CANYON_Ann.rpl\nsome/VH_CANYON_ROCKET3.rpl\n");

  // A driver is also known by the name its output gives it.
  replay.vehicles[1].second = "Ann";
  folder.Write("twice.rpl", replay.Build());
  const Outcome named = Run({"-v", "Ann2", "-o", "twice", "twice.rpl"});
  EXPECT_EQ(named.out, "twice/VH_CANYON_Ann2.rpl\n") << named.err;

  const Outcome wrong = Run({"-v", "Zed", "-o", "none", "race.rpl"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "vehisect-cli: race.rpl: expected a vehicle position from 1 to 3 or a driver, "
                       "found \"Zed\"; its vehicles are 1 Ann, 2 Bo, 3 ROCKET3\n");
  EXPECT_TRUE(TempFolder::NamesIn(folder.path() / "none").empty());
}

// An output keeps the race's record count and holds its own vehicle's records: listed, it is
// one vehicle with the records it holds, and the same race as the file of its name, itself.
TEST_F(CliTest, ListsOneOfItsOwnOutputs) {
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v0", "0"), Vehicle("v1", "1")};
  folder.Write("race.rpl", replay.Build());
  ASSERT_EQ(Run({"-q", "race.rpl"}).status, 0);
  const Outcome outcome = Run({"--list", "VH_CANYON_Bo.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out,
            "VH_CANYON_Bo.rpl\n"
            "  level CANYON.SIT, weather 0, detail level 2\n"
            "  2 of the race's 4 records here (1 shared), 1 object location\n"
            "  #  vehicle  driver  output            records  time    distance  top speed  existing file\n"
            "  1  van.trk  Bo      VH_CANYON_Bo.rpl  1        0:00.0  \u2013         \u2013          same race\n"
            "  one vehicle: nothing to split\n");
}

// On a terminal the bar is drawn on one line and blanked before the paths are printed, with
// spaces: a console that does not draw escape sequences shows them as they stand.
TEST_F(CliTest, ClearsItsProgressLineWithBlanks) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "needs script";
  replay.records.assign(200, Vehicle("v", "0"));
  folder.Write("race.rpl", replay.Build());
  // A terminal of its own, as script(1) gives, with standard error on it.
  const std::string command = "cd '" + folder.path().string() + "' && script -qec \"'" + VEHISECT_CLI +
                              "' race.rpl\" /dev/null < /dev/null";
  std::string shown;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  for (int c; (c = std::fgetc(pipe)) != EOF;) shown += static_cast<char>(c);
  EXPECT_EQ(pclose(pipe), 0);
  const std::string bar = "race.rpl [##############################] 200/200";
  EXPECT_NE(shown.find("\r" + bar + "\r" + std::string(bar.size(), ' ') + "\r"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
}

TEST_F(CliTest, ListsWhatEachReplayHolds) {
  replay.vehicles = {{"buggy.trk", "Jos\xe9"}, {"rocket.trk", "Computer"}};
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v0", "0"), Vehicle("v1", "1")};
  folder.Write("race.rpl", replay.Build());
  ReplayBuilder one;
  one.vehicles.resize(1);
  folder.Write("one.rpl", one.Build());
  folder.Write("bad.rpl", "demoLevel\r\n");

  Outcome outcome = Run({"--list", "race.rpl", "one.rpl"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out,
            "race.rpl\n"
            "  level CANYON.SIT, weather 0, detail level 2\n"
            "  4 records (1 shared), 1 object location\n"
            "  #  vehicle     driver   output                 records  time    distance  top speed\n"
            "  1  buggy.trk   Jos\u00e9     VH_CANYON_Jos\u00e9.rpl     2        0:00.0  \u2013         \u2013\n"
            "  2  rocket.trk  ROCKET2  VH_CANYON_ROCKET2.rpl  1        0:00.0  \u2013         \u2013\n"
            "\n"
            "one.rpl\n"
            "  level CANYON.SIT, weather 0, detail level 2\n"
            "  0 records (0 shared), 1 object location\n"
            "  #  vehicle    driver  output             records  time  distance  top speed\n"
            "  1  buggy.trk  Ann     VH_CANYON_Ann.rpl  0        \u2013     \u2013         \u2013\n"
            "  one vehicle: nothing to split\n");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "one.rpl", "bad.rpl"}));

  outcome = Run({"--list", "--json", "race.rpl", "bad.rpl"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "");
  std::istringstream lines(outcome.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(nlohmann::json::parse(line), nlohmann::json::parse(R"({"file": "race.rpl", "level": "CANYON.SIT",
      "weather": "0", "detailLevel": "2", "recordPtr": "777", "records": 4, "recordsHeld": 4, "objects": 1,
      "sharedRecords": 1, "seconds": 0.0,
      "vehicles": [{"position": 1, "vehicle": "buggy.trk", "driver": "Jos\u00e9", "output": "VH_CANYON_Jos\u00e9.rpl", "records": 2,
                    "seconds": 0.0, "distanceFeet": null, "topSpeedMph": null, "existing": null},
                   {"position": 2, "vehicle": "rocket.trk", "driver": "ROCKET2", "output": "VH_CANYON_ROCKET2.rpl", "records": 1,
                    "seconds": 0.0, "distanceFeet": null, "topSpeedMph": null, "existing": null}]})"));
  std::getline(lines, line);
  EXPECT_EQ(nlohmann::json::parse(line),
            nlohmann::json({{"file", "bad.rpl"},
                            {"error", "bad.rpl:2: expected the \"demoLevel\" value line, found the end of the file"}}));
  EXPECT_FALSE(std::getline(lines, line));

  // What a split refuses, a listing refuses with the same words: a name too long, a record
  // cut short or out of line, whichever path reads it.
  replay.level = std::string(300, 'L');
  folder.Write("long.rpl", replay.Build());
  replay.level = "canyon.sit";
  replay.recordCount = "5";
  folder.Write("short.rpl", replay.Build());
  replay.recordCount = "";
  replay.records.push_back(Vehicle("v9", " 1.0"));
  replay.records.push_back(Vehicle("v9", "0.99999999999999999999"));
  folder.Write("number.rpl", replay.Build());
  for (const char* file : {"long.rpl", "short.rpl", "number.rpl"}) {
    const Outcome listed = Run({"--list", file});
    const Outcome split = Run({"-q", "-o", "none", file});
    EXPECT_EQ(listed.status, 1) << file;
    EXPECT_EQ(listed.err, split.err) << file;
  }
  EXPECT_EQ(Run({"--list", "long.rpl"}).err, "vehisect-cli: long.rpl: expected output names of at most 255 characters, "
                                             "found one of 308 for vehicle 1\n");
  EXPECT_EQ(Run({"--list", "short.rpl"}).err, "vehisect-cli: short.rpl:92: expected the \"type,time\" label line, "
                                              "found the end of the file, in record 5 of 5\n");
  EXPECT_EQ(Run({"--list", "number.rpl"}).err, "vehisect-cli: number.rpl:123: expected a vehicle number from 0 to 1, "
                                               "found \"0.99999999999999999999\"\n");
}


// A listing says what a split would do: it refuses what stands under an output's name as a
// split does, without opening it, and shows a driver's control characters escaped.
TEST_F(CliTest, ListsWhatASplitWouldDo) {
  replay.vehicles[1].second = "Bo\x1b[2J";
  folder.Write("race.rpl", replay.Build());
  ASSERT_EQ(mkfifo((folder.path() / "VH_CANYON_Ann.rpl").c_str(), 0600), 0);
  const std::string refused = "vehisect-cli: VH_CANYON_Ann.rpl: expected a file name free for the output, found "
                              "something other than a file there\n";
  EXPECT_EQ(Run({"--list", "race.rpl"}).err, refused);
  EXPECT_EQ(Run({"-q", "race.rpl"}).err, refused);
  std::filesystem::remove(folder.path() / "VH_CANYON_Ann.rpl");
  const Outcome listed = Run({"--list", "race.rpl"});
  EXPECT_NE(listed.out.find("  2  van.trk    Bo\\x1b[2J  VH_CANYON_Bo_[2J.rpl  1        0:00.0"), std::string::npos) << listed.out;
  std::filesystem::rename(folder.path() / "race.rpl", folder.path() / "VH_CANYON_Ann.rpl");
  EXPECT_EQ(Run({"--list", "VH_CANYON_Ann.rpl"}).err, Run({"-q", "VH_CANYON_Ann.rpl"}).err);
}

// The paths printed are the result: an output that cannot take them fails the run.
TEST_F(CliTest, FailsWhenItsOutputCannotBeWritten) {
  folder.Write("race.rpl", replay.Build());
  const std::string command = "cd '" + folder.path().string() + "' && " VEHISECT_CLI " -q race.rpl";
  EXPECT_EQ(WEXITSTATUS(std::system((command + " >/dev/full 2>err.txt").c_str())), 1);
  EXPECT_EQ(folder.Read("err.txt"),
            "vehisect-cli: standard output: expected to write the results, found No space left on device\n");
  EXPECT_EQ(WEXITSTATUS(std::system((command + " >&- 2>err.txt").c_str())), 1);
  EXPECT_EQ(folder.Read("err.txt"),
            "vehisect-cli: standard output: expected to write the results, found Bad file descriptor\n");
}

}  // namespace
}  // namespace vehisect
