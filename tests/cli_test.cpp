// End-to-end runs of vehisect-cli in temporary folders.

#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_runner.h"
#include "replay_builder.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using testing::Outcome;
using testing::ReplayBuilder;
using testing::RunCli;
using testing::Shared;
using testing::TempFolder;
using testing::Vehicle;
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
            "vehisect-cli: missing.rpl: expected a replay file, found nothing there\n");
  EXPECT_EQ(folder.Names(), (Names{"one.rpl", "bad.rpl", "race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(CliTest, AnswersUsageErrorsHelpAndVersion) {
  const std::string usage = "usage: vehisect-cli [--use-record-ptr] [-o DIR] [-q] REPLAY...\n";
  Outcome outcome = Run({});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "vehisect-cli: no replay given\n" + usage);
  outcome = Run({"--frobnicate", "race.rpl"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "vehisect-cli: unknown option --frobnicate\n" + usage);
  outcome = Run({"race.rpl", "-o"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "vehisect-cli: option -o needs a folder\n" + usage);
  outcome = Run({"--help"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out.rfind(usage, 0), 0u);
  outcome = Run({"--version"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out.rfind("vehisect-cli ", 0), 0u);
  EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
}  // namespace vehisect
