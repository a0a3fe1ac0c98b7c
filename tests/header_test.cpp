#include <gtest/gtest.h>

#include "replay/format/reader.h"
#include "split_fixture.h"

namespace vehisect {
namespace {

using namespace testing;  // the fixture, the fakes and the replay builder

class HeaderTest : public SplitterTest {};

TEST_F(HeaderTest, RejectsBadCountsEachWithItsOwnMessage) {
  // The vehicle count is line 6, the record count line 16 and the object count line 18.
  const std::string vehicles = "race.rpl:6: expected a vehicle count from 1 to 8, found ";
  for (const char* bad : {"0", "9", "-2", "2.5", "abc"}) {
    replay.vehicleCount = bad;
    EXPECT_EQ(ErrorOf(), vehicles + "\"" + bad + "\"");
  }
  replay.vehicleCount = "\"\"";
  EXPECT_EQ(ErrorOf(), vehicles + "\"\"");
  replay.vehicleCount = "2,1";
  EXPECT_EQ(ErrorOf(), "race.rpl:6: expected one vehicle count, found \"2,1\"");
  replay.vehicleCount = "";

  for (const char* bad : {"-1", "many", "100000000000000000000"}) {
    replay.recordCount = bad;
    EXPECT_EQ(ErrorOf(), "race.rpl:16: expected a record count from 0 to 9007199254740992, found \"" +
                             std::string(bad) + "\"");
  }
  replay.recordCount = "";

  // Everything before the first record may hold 4 MiB: with the fields before them, four
  // mebibyte lines are too many.
  replay.objects.assign(8, std::string((std::size_t{1} << 20) - 2, 'o'));
  EXPECT_EQ(ErrorOf(), "race.rpl:22: expected at most 4 MiB before the first record, found more by this line");

  replay.objectCount = "542";
  replay.objects.assign(542, "o");
  EXPECT_EQ(ErrorOf(), "race.rpl:18: expected an object-location count from 0 to 541, found \"542\"");
  replay.objectCount = "";
  replay.objects.assign(541, "o");
  EXPECT_EQ(ErrorOf(), "no error");

}

TEST_F(HeaderTest, ReadsLabelsByPositionAndIgnoresWhatFollowsTheLastRecord) {
  replay.records = {Vehicle("v0", "0"), Shared("s1")};
  SplitText(replay.Build());
  const std::string expected = File("VH_CANYON_Ann.rpl");
  std::string text = replay.Build();
  for (const char* label : {"demoLevel", "vehicleCount", "ipos", "damageCode,gear", "number"}) {
    text.replace(text.find(label), std::string(label).size(), "any text");
  }
  text.replace(text.find("weather"), 7, "");
  SplitText(text + "type,time\r\n2,0.5\r\ngarbage");
  EXPECT_EQ(File("VH_CANYON_Ann.rpl"), expected);
}

TEST_F(HeaderTest, RefusesAOneVehicleReplayWhateverFollowsTheCount) {
  replay.vehicleCount = " 1.0";
  const std::string text = replay.Build();
  const SplitResult result = SplitText(text.substr(0, text.find("buggy.trk")));
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(result.outputs.empty());
  EXPECT_TRUE(store.files().empty());
  EXPECT_TRUE(progress.calls.empty());
}

TEST_F(HeaderTest, RejectsFilesTheLayoutDoesNotFit) {
  EXPECT_EQ(ErrorOf(""), "race.rpl:1: expected the \"demoLevel\" label line, found the end of the file");
  // Line feeds alone do not end lines, so a file written with them is one long line; the
  // message says how that may have come about.
  replay.eol = "\n";
  EXPECT_EQ(ErrorOf(), "race.rpl:2: expected the \"demoLevel\" value line, found the end of the file; its lines "
                       "end in LF alone, while replays end them in CR LF: an editor or a file transfer may have "
                       "converted it");
  replay.eol = "\r\n";
  const std::string text = replay.Build();
  EXPECT_EQ(ErrorOf(text.substr(0, text.find("van.trk"))),
            "race.rpl:9: expected the vehicle line of vehicle 2, found the end of the file");
  replay.level = std::string(40000, 'A') + ".sit";
  EXPECT_EQ(ErrorOf(), "race.rpl:2: expected text to replace ending before character 32767, "
                       "found \".SIT\" ending at character 40004");
}

TEST_F(HeaderTest, CarriesTheRecordPointerOnlyWhenAsked) {
  replay.records = {Shared("s1")};
  Split(false);
  EXPECT_NE(File("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n1\r\ndemoRecordCount\r\n1\r\n"), std::string::npos);
  Split(true);
  EXPECT_NE(File("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n777\r\ndemoRecordCount\r\n1\r\n"), std::string::npos);
}

TEST_F(HeaderTest, WritesHeadersOnlyWhenThereAreNoRecords) {
  replay.objects.clear();
  Split();
  EXPECT_EQ(File("VH_CANYON_Bo.rpl"),
            "demoLevel\r\nCANYON.SIT\r\nweather\r\n0\r\nvehicleCount\r\n1\r\nvan.trk\r\nBo\r\n"
            "detailLevel\r\n2\r\ndemoRecordPtr\r\n0\r\ndemoRecordCount\r\n0\r\n"
            "Original object locations\r\n0\r\n");
}

}  // namespace
}  // namespace vehisect
