#include <gtest/gtest.h>

#include "replay/format/reader.h"
#include "split_fixture.h"

namespace vehisect {
namespace {

using namespace testing;  // the fixture, the fakes and the replay builder

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
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"max 3"}));
  EXPECT_EQ(progress.value, 3);
}

}  // namespace
}  // namespace vehisect
