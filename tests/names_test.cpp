#include "replay/run/names.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vehisect
