#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "replay/base/error.h"
#include "replay/run/listing.h"
#include "replay/run/race_picture.h"
#include "replay_builder.h"

namespace vehisect {
namespace {

using namespace testing;  // the replay builder

// Ann drives 50 ft and 50 ft more, then is reset 7,000 ft away; Bo's positions are not numbers.
ReplayBuilder Race() {
  ReplayBuilder race;
  race.objects = {"100,5,200,0,0,0", "8000,0,8100,1,2,3"};
  race.records = {Shared("s", "7", "1,-16384"),
                  Moving("0", 0, "0,1,0", "3,0,4"),
                  Moving("1", 0, "a,b,c", "1,1,1"),
                  Moving("0", 16384, "30,2,40", "0,12,0"),
                  Moving("0", 32768, "60,3,80", "6,8,0"),
                  Moving("0", 49152, "5000,0,5000", "1,1,1"),
                  Moving("1", 65536, "x,y,z", "2,2,2")};
  return race;
}

ReplayListing List(const ReplayBuilder& race) {
  std::istringstream in(race.Build());
  return ListReplay(in, "race.rpl");
}

TEST(RaceTest, CountsEachVehiclesTimeDistanceAndTopSpeed) {
  const ReplayListing listing = List(Race());
  const RaceMap& race = listing.race;
  EXPECT_EQ(race.seconds, 81920 / 65536.0);
  const VehicleRace& ann = race.vehicles[0];
  EXPECT_EQ(ann.seconds, 0.75);
  EXPECT_EQ(ann.distanceFeet, 100.0);  // the reset is not driven
  EXPECT_DOUBLE_EQ(*ann.topSpeedMph, 12 * 0.681818);
  ASSERT_EQ(ann.path.size(), 4u);
  EXPECT_TRUE(ann.path[0].starts && !ann.path[1].starts && !ann.path[2].starts && ann.path[3].starts);
  EXPECT_EQ(ann.path[3].x, 5000);
  EXPECT_EQ(ann.path[3].z, 5000);
  const VehicleRace& bo = race.vehicles[1];
  EXPECT_EQ(bo.seconds, 1.0);
  EXPECT_EQ(bo.distanceFeet, std::nullopt);
  EXPECT_DOUBLE_EQ(*bo.topSpeedMph, std::sqrt(12.0) * 0.681818);
  EXPECT_TRUE(bo.path.empty());
  ASSERT_EQ(race.objects.size(), 2u);
  EXPECT_EQ(race.objects[1].z, 8100);
  EXPECT_EQ(race.maxZ, 8192);  // the level's edge, which nothing passes

  EXPECT_EQ(RaceTimeText(ann.seconds), "0:00.8");
  EXPECT_EQ(RaceTimeText(61.25), "1:01.3");
  EXPECT_EQ(DistanceText(12345.4), "12,345 ft");
  EXPECT_EQ(SpeedText(bo.topSpeedMph), "2 mph");
  EXPECT_EQ(DistanceText(bo.distanceFeet), "\u2013");
}

// A path of many records keeps a bounded number of points, and every reset.
TEST(RaceTest, ThinsALongPathButKeepsItsResets) {
  ReplayBuilder race;
  race.records.clear();
  for (int r = 0; r < 20000; ++r) {
    // Back and forth along 400 ft at 4 ft/s, and once reset far away and back.
    const std::string x = r == 12345 ? "9000" : std::to_string(r % 800 < 400 ? r % 800 : 800 - r % 800);
    race.records.push_back(Moving("0", r * 16384, x + ",0,10", "0,0,1"));
  }
  const ReplayListing listing = List(race);
  const VehicleRace& ann = listing.race.vehicles[0];
  EXPECT_LE(ann.path.size(), kMaxPathPoints);
  EXPECT_GT(ann.path.size(), kMaxPathPoints / 2);
  EXPECT_EQ(std::count_if(ann.path.begin(), ann.path.end(), [](const GroundPoint& p) { return p.starts; }), 3);
  EXPECT_EQ(ann.path.back().x, 1);
  EXPECT_EQ(ann.distanceFeet, 19997.0);
  // A replay that breaks off far into its records fails its listing, and leaves nothing running.
  const std::string whole = race.Build();
  std::istringstream broken(whole.substr(0, whole.size() * 3 / 4));
  EXPECT_THROW(ListReplay(broken, "race.rpl"), ReplayError);
}

// The picture of a small race, byte for byte as kept.
TEST(RaceTest, DrawsTheRaceAsKept) {
  std::ostringstream svg;
  WriteRaceSvg(svg, List(Race()), {0, 1});
  std::ifstream kept(std::string(VEHISECT_TEST_DATA) + "/race.svg", std::ios::binary);
  EXPECT_EQ(svg.str(), std::string(std::istreambuf_iterator<char>(kept), {}));
}

}  // namespace
}  // namespace vehisect
