#include "replay/format/same_race.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vehisect {
namespace {

// An output's first lines: its 12th holds the record pointer, which alone may differ.
std::string Output(const std::string& weather, const std::string& pointer) {
  return "demoLevel\r\nCANYON.SIT\r\nweather\r\n" + weather + "\r\nvehicleCount\r\n1\r\nbuggy.trk\r\nAnn\r\n" +
         "detailLevel\r\n2\r\ndemoRecordPtr\r\n" + pointer + "\r\ndemoRecordCount\r\n3\r\n";
}

bool Same(const std::string& existing, const std::string& fresh) {
  std::istringstream a(existing), b(fresh);
  return SameRace(a, b);
}

TEST(SameRaceTest, ComparesEveryLineButTheRecordPointerAsTheFormatEndsLines) {
  EXPECT_TRUE(Same(Output("0", "3"), Output("0", "777")));
  // An LF alone is part of its line, not the end of one.
  EXPECT_TRUE(Same(Output("rain\nfog", "3"), Output("rain\nfog", "777")));
  EXPECT_FALSE(Same(Output("rain\nfog", "3"), Output("rain\nsun", "3")));
  // A CR ends the pointer line: what follows it is a line more.
  EXPECT_FALSE(Same(Output("0", "3\rNOTE"), Output("0", "3")));
  EXPECT_FALSE(Same(Output("0", "3"), Output("0", "3") + "x"));
  EXPECT_FALSE(Same(Output("0", "3").substr(0, 40), Output("0", "3")));
}

// Any difference but the pointer, on either side: longer, shorter, or one byte changed in the
// middle, is another race.
TEST(SameRaceTest, AnyOtherDifferenceEitherWayIsAnotherRace) {
  const std::string race = Output("0", "3") + "2,0.5\r\n0\r\nv1 ipos\r\n2,0.75\r\n0\r\nv2 ipos\r\n";
  std::string changed = race;
  changed[race.find("v1")] = 'w';
  for (const std::string& other : {race + "x", race + "\r\n", race.substr(0, race.size() - 1), changed}) {
    EXPECT_FALSE(Same(other, race)) << other;
    EXPECT_FALSE(Same(race, other)) << other;
  }
  EXPECT_TRUE(Same(race, race));
}

}  // namespace
}  // namespace vehisect
