#include <gtest/gtest.h>

#include <sstream>

#include "memory_store.h"
#include "fake_window.h"
#include "replay/base/error.h"
#include "replay/format/reader.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes and the replay builder

class SplitterTest : public ::testing::Test {
 protected:
  ReplayBuilder replay;
  FakeWindow window;
  MemoryOutputStore store;

  SplitResult Split(bool useRecordPtr = false) { return SplitText(replay.Build(), useRecordPtr); }

  SplitResult SplitText(const std::string& text, bool useRecordPtr = false) {
    std::istringstream in(text);
    return SplitReplay(in, "race.rpl", useRecordPtr, window, store);
  }

  // The message of the error the run raises; the run must leave no output behind.
  std::string ErrorOf(const std::string& text) {
    try {
      SplitText(text);
    } catch (const ReplayError& e) {
      EXPECT_TRUE(store.files().empty());
      for (const std::string& call : window.calls) EXPECT_EQ(call.rfind("max ", 0), 0u) << call;
      return e.what();
    }
    return "no error";
  }
  std::string ErrorOf() { return ErrorOf(replay.Build()); }

  const std::string& File(const std::string& name) {
    const auto found = store.files().find(name);
    if (found == store.files().end()) throw std::runtime_error("no output " + name);
    return found->second;
  }
};

TEST_F(SplitterTest, SplitsTwoVehiclesIntoTwoReplays) {
  replay.objects.clear();
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")};
  const SplitResult result = Split();
  EXPECT_FALSE(result.refused);
  EXPECT_EQ(result.outputs, (std::vector<std::string>{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  const std::string header =
      "demoLevel\r\nCANYON.SIT\r\nweather\r\n0\r\nvehicleCount\r\n1\r\n";
  const std::string rest =
      "detailLevel\r\n2\r\ndemoRecordPtr\r\n3\r\ndemoRecordCount\r\n3\r\n"
      "Original object locations\r\n0\r\n"
      "type,time\r\n1,0.5\r\nipos\r\ns1 ipos\r\nbvel\r\ns1 bvel\r\ntheta,phi,psi\r\ns1 angles\r\n"
      "p,q,r\r\ns1 rates\r\nnumber\r\n0\r\n";
  const auto vehicleRecord = [](const std::string& tag) {
    return "type,time\r\n2,0.5\r\nipos\r\n" + tag + " ipos\r\nbvel\r\n" + tag +
           " bvel\r\ntheta,phi,psi\r\n" + tag + " angles\r\np,q,r\r\n" + tag +
           " rates\r\nnumber\r\n0\r\nfsteering_angle,rsteering_angle\r\n" + tag +
           " steering\r\nfrtire_theta,fltire_theta,rrtire_theta,rltire_theta\r\n" + tag +
           " tires\r\neng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber\r\n" + tag +
           " controls\r\ndamageCode,gear\r\n" + tag + " damage\r\n";
  };
  EXPECT_EQ(File("VH_CANYON_Ann.rpl"), header + "buggy.trk\r\nAnn\r\n" + rest + vehicleRecord("v0"));
  EXPECT_EQ(File("VH_CANYON_Bo.rpl"), header + "van.trk\r\nBo\r\n" + rest + vehicleRecord("v1"));
}

TEST_F(SplitterTest, ReportsProgressThroughTheWindow) {
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")};
  Split();
  EXPECT_EQ(window.calls, (std::vector<std::string>{"max 3"}));
  EXPECT_EQ(window.value, 3);
}

TEST_F(SplitterTest, NamesOutputsFromTheLevelAndTheDrivers) {
  replay.level = "  canyon.sit ";
  replay.vehicles = {{"buggy.trk", "Ann"}, {"van.trk", "DriverX"}, {" rocket.trk", "Computer"},
                     {"truck.trk", "computer"}};
  const SplitResult result = Split();
  EXPECT_EQ(result.outputs,
            (std::vector<std::string>{"VH_CANYON_Ann.rpl", "VH_CANYON_DriverX2.rpl",
                                      "VH_CANYON_ROCKET3.rpl", "VH_CANYON_computer.rpl"}));
  // The rewritten driver goes into the header; the vehicle line stays as read.
  EXPECT_NE(File("VH_CANYON_ROCKET3.rpl").find("CANYON.SIT\r\nweather\r\n0\r\nvehicleCount\r\n1\r\n"
                                               " rocket.trk\r\nROCKET3\r\ndetailLevel\r\n"),
            std::string::npos);
}

TEST_F(SplitterTest, MakesNamesSafeAndUniqueIgnoringCase) {
  replay.level = "a:b\\c.sit";
  // Case is ignored for every letter Windows-1252 has: \xe9 and \xc9 are e and E acute, \x9a
  // and \x8a s and S caron, \xff and \x9f y and Y diaeresis.
  replay.vehicles = {{"x.trk", "Ann"},        {"y.trk", "ANN"},       {"z.trk", "Jo/e?"},
                     {"w.trk", "t\x01\xe9"},   {"v.trk", "T_\xc9"},     {"u.trk", "\x9a\xff"},
                     {"s.trk", "\x8a\x9f"},     {"r.trk", "\xd7\xf7"}};
  const SplitResult result = Split();
  EXPECT_EQ(result.outputs,
            (std::vector<std::string>{"VH_A_B_C_Ann.rpl", "VH_A_B_C_ANN2.rpl", "VH_A_B_C_Jo_e_.rpl",
                                      "VH_A_B_C_t_\xe9.rpl", "VH_A_B_C_T_\xc9" "5.rpl", "VH_A_B_C_\x9a\xff.rpl",
                                      "VH_A_B_C_\x8a\x9f" "7.rpl", "VH_A_B_C_\xd7\xf7.rpl"}));
  // Inside the replay the driver keeps its text.
  EXPECT_NE(File("VH_A_B_C_ANN2.rpl").find("\r\ny.trk\r\nANN\r\n"), std::string::npos);
  EXPECT_NE(File("VH_A_B_C_Jo_e_.rpl").find("\r\nz.trk\r\nJo/e?\r\n"), std::string::npos);
}

TEST_F(SplitterTest, GivesEveryVehicleANameOfItsOwnAndCutsAMebibyteDriver) {
  // A driver line of a mebibyte is cut to fit in one pass, not a character at a time.
  const std::string longest(LineReader::kMaxLine - 1, 'x');
  replay.vehicles = {{"x.trk", "A"}, {"y.trk", "A3"}, {"z.trk", "a"}, {"w.trk", longest}};
  EXPECT_EQ(Split().outputs, (std::vector<std::string>{"VH_CANYON_A.rpl", "VH_CANYON_A3.rpl", "VH_CANYON_a4.rpl",
                                                       "VH_CANYON_" + longest.substr(0, 241) + ".rpl"}));
}

TEST_F(SplitterTest, CarriesTheRecordPointerOnlyWhenAsked) {
  replay.records = {Shared("s1")};
  Split(false);
  EXPECT_NE(File("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n1\r\ndemoRecordCount\r\n1\r\n"), std::string::npos);
  Split(true);
  EXPECT_NE(File("VH_CANYON_Ann.rpl").find("demoRecordPtr\r\n777\r\ndemoRecordCount\r\n1\r\n"), std::string::npos);
}

TEST_F(SplitterTest, RoutesRecordsByKindAndVehicleNumber) {
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

TEST_F(SplitterTest, WritesKindAndTimeAsTheyStoodWithoutBlanksAndQuotes) {
  replay.records = {Vehicle("a", "0", " 2 , 0.50"), Vehicle("b", "0", "\"2\",\" \t1.50 \""),
                    Vehicle("c", "0", "2,\"1,5\"")};
  Split();
  const std::string& ann = File("VH_CANYON_Ann.rpl");
  EXPECT_NE(ann.find("type,time\r\n2,0.50\r\nipos\r\na ipos"), std::string::npos);
  EXPECT_NE(ann.find("type,time\r\n2,1.50\r\nipos\r\nb ipos"), std::string::npos);
  // Without its quotes this time would read back as two items.
  EXPECT_NE(ann.find("type,time\r\n2,\"1,5\"\r\nipos\r\nc ipos"), std::string::npos);
}

TEST_F(SplitterTest, CopiesValueLinesByteForByte) {
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

TEST_F(SplitterTest, CopiesRecordsLongerThanTheReadersLookAhead) {
  const std::string huge(200000, 'h');
  replay.records = {Vehicle(huge, "1"), Shared("s"), Vehicle("small", "1")};
  Split();
  EXPECT_EQ(File("VH_CANYON_Bo.rpl").substr(File("VH_CANYON_Bo.rpl").find("type,time")),
            ReplayBuilder::Written(replay.records[0]) + ReplayBuilder::Written(replay.records[1]) +
                ReplayBuilder::Written(replay.records[2]));
}

TEST_F(SplitterTest, ReadsLabelsByPositionAndIgnoresWhatFollowsTheLastRecord) {
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

TEST_F(SplitterTest, WritesHeadersOnlyWhenThereAreNoRecords) {
  replay.objects.clear();
  Split();
  EXPECT_EQ(File("VH_CANYON_Bo.rpl"),
            "demoLevel\r\nCANYON.SIT\r\nweather\r\n0\r\nvehicleCount\r\n1\r\nvan.trk\r\nBo\r\n"
            "detailLevel\r\n2\r\ndemoRecordPtr\r\n0\r\ndemoRecordCount\r\n0\r\n"
            "Original object locations\r\n0\r\n");
}

TEST_F(SplitterTest, RefusesAOneVehicleReplayWhateverFollowsTheCount) {
  replay.vehicleCount = " 1.0";
  const std::string text = replay.Build();
  const SplitResult result = SplitText(text.substr(0, text.find("buggy.trk")));
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(result.outputs.empty());
  EXPECT_TRUE(store.files().empty());
  EXPECT_TRUE(window.calls.empty());
}

TEST_F(SplitterTest, RejectsBadCountsEachWithItsOwnMessage) {
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

TEST_F(SplitterTest, RejectsBadRecordsAndLeavesNoOutput) {
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

TEST_F(SplitterTest, RejectsFilesTheLayoutDoesNotFit) {
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

}  // namespace
}  // namespace vehisect
