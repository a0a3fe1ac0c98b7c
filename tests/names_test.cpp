#include "replay/run/names.h"

#include <gtest/gtest.h>

#include "replay/format/reader.h"
#include "split_fixture.h"

namespace vehisect {
namespace {

// Names that a file system folding case fully takes for one must compare equal: ß is "ss",
// and the signs that look like letters are those letters.
TEST(NamesTest, FoldsCaseAsAFileSystemThatFoldsFully) {
  EXPECT_EQ(FoldUtf8("VH_X_Stra\u00dfe (2).rpl"), FoldUtf8("vh_x_STRASSE (2).rpl"));
  EXPECT_EQ(FoldUtf8("\u212a\u212b\u1e9e\u0152\u0178\u017d\u017e\u0139\u013a\u00c9\u0394\u0416"),
            "k\u00e5ss\u0153\u00ff\u017e\u017e\u013a\u013a\u00e9\u03b4\u0436");
  EXPECT_EQ(FoldUtf8("\xff\xc3"), "\xff\xc3");  // not UTF-8: compared as it is
}

TEST(NamesTest, GivesDriversThatFoldAlikeNamesOfTheirOwn) {
  ReplayHeader header;
  header.levelName = "CANYON";
  header.vehicles = {{"a.trk", "Stra\xdf" "e"}, {"b.trk", "STRASSE"}, {"c.trk", "stra\xdf" "e"}};
  EXPECT_EQ(OutputNames(header, "race.rpl"),
            (std::vector<std::string>{"VH_CANYON_Stra\xdf" "e.rpl", "VH_CANYON_STRASSE2.rpl", "VH_CANYON_stra\xdf" "e3.rpl"}));
}

using namespace testing;  // the fixture, the fakes and the replay builder

class OutputNamesTest : public SplitterTest {};

TEST_F(OutputNamesTest, NamesOutputsFromTheLevelAndTheDrivers) {
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

TEST_F(OutputNamesTest, MakesNamesSafeAndUniqueIgnoringCase) {
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

TEST_F(OutputNamesTest, GivesEveryVehicleANameOfItsOwnAndCutsAMebibyteDriver) {
  // A driver line of a mebibyte is cut to fit in one pass, not a character at a time.
  const std::string longest(LineReader::kMaxLine - 1, 'x');
  replay.vehicles = {{"x.trk", "A"}, {"y.trk", "A3"}, {"z.trk", "a"}, {"w.trk", longest}};
  EXPECT_EQ(Split().outputs, (std::vector<std::string>{"VH_CANYON_A.rpl", "VH_CANYON_A3.rpl", "VH_CANYON_a4.rpl",
                                                       "VH_CANYON_" + longest.substr(0, 241) + ".rpl"}));
}

}  // namespace
}  // namespace vehisect
