#include <gtest/gtest.h>

#include "replay/format/reader.h"
#include "split_fixture.h"

namespace vehisect {
namespace {

using namespace testing;  // the fixture, the fakes and the replay builder

class RecordTest : public SplitterTest {};

TEST_F(RecordTest, RoutesRecordsByKindAndVehicleNumber) {
  replay.vehicles.push_back({"truck.trk", "Cy"});
  replay.records = {Vehicle("to-cy", "2", "0,0.5"), Shared("all", "7", " 1.0 ,0.5"),
                    Vehicle("to-ann", "0.0"), Vehicle("to-bo", " 1 ", "1.5,9")};
  Split();
  const auto has = [&](const std::string& file, const std::string& tag) {
    return File(file).find(tag + " ipos") != std::string::npos;
  };
  EXPECT_TRUE(has("VH_CANYON_Cy.rpl", "to-cy"));
  EXPECT_TRUE(has("VH_CANYON_Ann.rpl", "to-ann"));
  EXPECT_TRUE(has("VH_CANYON_Bo.rpl", "to-bo"));
  EXPECT_FALSE(has("VH_CANYON_Ann.rpl", "to-cy"));
  EXPECT_FALSE(has("VH_CANYON_Ann.rpl", "to-bo"));
  for (const auto& [name, text] : store.files()) {
    // A shared record keeps its number and its kind and time as they stood, trimmed.
    EXPECT_NE(text.find("type,time\r\n1.0,0.5\r\nipos\r\nall ipos"), std::string::npos) << name;
    EXPECT_NE(text.find("number\r\n7\r\n"), std::string::npos) << name;
  }
  EXPECT_NE(File("VH_CANYON_Bo.rpl").find("type,time\r\n1.5,9\r\n"), std::string::npos);
  // A vehicle record is renumbered 0 and keeps all twenty lines, in input order.
  const std::string& cy = File("VH_CANYON_Cy.rpl");
  EXPECT_NE(cy.find("type,time\r\n0,0.5\r\n"), std::string::npos);
  EXPECT_LT(cy.find("to-cy ipos"), cy.find("all ipos"));
  EXPECT_NE(cy.find("to-cy rates\r\nnumber\r\n0\r\nfsteering_angle,rsteering_angle\r\nto-cy steering\r\n"),
            std::string::npos);
}

TEST_F(RecordTest, WritesKindAndTimeAsTheyStoodWithoutBlanksAndQuotes) {
  replay.records = {Vehicle("a", "0", " 2 , 0.50"), Vehicle("b", "0", "\"2\",\" \t1.50 \""),
                    Vehicle("c", "0", "2,\"1,5\"")};
  Split();
  const std::string& ann = File("VH_CANYON_Ann.rpl");
  EXPECT_NE(ann.find("type,time\r\n2,0.50\r\nipos\r\na ipos"), std::string::npos);
  EXPECT_NE(ann.find("type,time\r\n2,1.50\r\nipos\r\nb ipos"), std::string::npos);
  // Without its quotes this time would read back as two items.
  EXPECT_NE(ann.find("type,time\r\n2,\"1,5\"\r\nipos\r\nc ipos"), std::string::npos);
}

TEST_F(RecordTest, CopiesValueLinesByteForByte) {
  replay.weather = "  rain ,\t2 ";
  replay.detailLevel = std::string("a\0b\xff\nc", 6);
  replay.objects = {" 1, 2 ,3 ", ""};
  replay.records = {Shared(std::string("\x80\0 ", 3))};
  Split();
  const std::string& ann = File("VH_CANYON_Ann.rpl");
  EXPECT_NE(ann.find("weather\r\n  rain ,\t2 \r\n"), std::string::npos);
  EXPECT_NE(ann.find(std::string("detailLevel\r\na\0b\xff\nc\r\n", 21)), std::string::npos);
  EXPECT_NE(ann.find("locations\r\n2\r\n 1, 2 ,3 \r\n\r\ntype,time"), std::string::npos);
  EXPECT_NE(ann.find(std::string("ipos\r\n\x80\0  ipos\r\n", 16)), std::string::npos);
}

// Each output holds every shared record and its own, each numbered 0, whether the reader
// takes a record from its look-ahead or, longer than that, line by line.
TEST_F(RecordTest, CopiesEveryRecordOfAnOutputAsVehicleZeroOnBothPaths) {
  const std::string huge(200000, 'h');
  replay.records = {Vehicle("a", "1"), Shared("s", "5"), Vehicle(huge, "1"), Vehicle("b", "0"), Vehicle("c", "1"),
                    Vehicle(huge, "0"), Vehicle("d", "0")};
  Split();
  for (const auto& [file, number] : {std::pair{"VH_CANYON_Ann.rpl", "0"}, std::pair{"VH_CANYON_Bo.rpl", "1"}}) {
    std::string expected;
    for (const TestRecord& record : replay.records) {
      if (record.shared || record.number == number) expected += ReplayBuilder::Written(record);
    }
    EXPECT_EQ(File(file).substr(File(file).find("type,time")), expected) << file;
  }
}

TEST_F(RecordTest, RejectsBadRecordsAndLeavesNoOutput) {
  // The first record starts at line 20: its kind and time are line 21, its number line 31.
  replay.records = {Vehicle("v", "2")};
  EXPECT_EQ(ErrorOf(), "race.rpl:31: expected a vehicle number from 0 to 1, found \"2\"");
  replay.records = {Vehicle("v", "-1")};
  EXPECT_EQ(ErrorOf(), "race.rpl:31: expected a vehicle number from 0 to 1, found \"-1\"");
  replay.records = {Vehicle("v", "0.5")};
  EXPECT_EQ(ErrorOf(), "race.rpl:31: expected a vehicle number from 0 to 1, found \"0.5\"");
  replay.records = {Vehicle("v", "0", "x,0.5")};
  EXPECT_EQ(ErrorOf(), "race.rpl:21: expected a record kind that is a number, found \"x\"");
  replay.records = {Vehicle("v", "0", "2")};
  EXPECT_EQ(ErrorOf(), "race.rpl:21: expected a record kind and time as two items, found \"2\"");
  replay.records = {Vehicle("v", "0", "2,0.5,1")};
  EXPECT_EQ(ErrorOf(), "race.rpl:21: expected a record kind and time as two items, found \"2,0.5,1\"");

  replay.records = {Shared("s1"), Vehicle("v", "0")};
  replay.recordCount = "3";
  EXPECT_EQ(ErrorOf(), "race.rpl:52: expected the \"type,time\" label line, found the end of the file, in record 3 of 3");
  const std::string text = replay.Build();
  EXPECT_EQ(ErrorOf(text.substr(0, text.size() - 10)),
            "race.rpl:51: expected the \"damageCode,gear\" value line, found the end of the file, in record 2 of 3");
}

}  // namespace
}  // namespace vehisect
