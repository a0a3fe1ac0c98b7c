#pragma once

// Writes replays for the tests in the game's layout, with value lines that name their record
// so that a test can see where each record went.

#include <string>
#include <utility>
#include <vector>

namespace vehisect::testing {

struct TestRecord {
  std::string kindTime;  // the "type,time" value line as the file holds it
  std::string number;    // the "number" value line
  std::string tag;       // marks the record's other value lines
  bool shared;
  std::string position = {}, velocity = {};  // the "ipos" and "bvel" value lines; none: tagged
};

inline TestRecord Shared(std::string tag, std::string number = "0", std::string kindTime = "1,0.5") {
  return {std::move(kindTime), std::move(number), std::move(tag), true};
}

inline TestRecord Vehicle(std::string tag, std::string number, std::string kindTime = "2,0.5") {
  return {std::move(kindTime), std::move(number), std::move(tag), false};
}

// A vehicle record at `ticks` (1/65536 s), at `position` (x,y,z ft) moving at `velocity`.
inline TestRecord Moving(std::string number, int ticks, std::string position, std::string velocity) {
  return {"2," + std::to_string(ticks), std::move(number), "m", false, std::move(position), std::move(velocity)};
}

class ReplayBuilder {
 public:
  std::string level = "canyon.sit";
  std::string weather = "0";
  std::string vehicleCount;  // empty: the number of vehicles
  std::vector<std::pair<std::string, std::string>> vehicles = {{"buggy.trk", "Ann"},
                                                               {"van.trk", "Bo"}};
  std::string detailLevel = "2";
  std::string recordPtr = "777";
  std::string recordCount;  // empty: the number of records
  std::string objectCount;  // empty: the number of objects
  std::vector<std::string> objects = {"1.0,2.0,3.0"};
  std::vector<TestRecord> records;
  std::string eol = "\r\n";

  std::string Build() const {
    std::string out;
    Field("demoLevel", level, out);
    Field("weather", weather, out);
    Field("vehicleCount", Or(vehicleCount, vehicles.size()), out);
    for (const auto& [vehicle, driver] : vehicles) {
      Line(vehicle, out);
      Line(driver, out);
    }
    Field("detailLevel", detailLevel, out);
    Field("demoRecordPtr", recordPtr, out);
    Field("demoRecordCount", Or(recordCount, records.size()), out);
    Field("Original object locations", Or(objectCount, objects.size()), out);
    for (const std::string& object : objects) Line(object, out);
    for (const TestRecord& r : records) AppendRecord(r, r.number, out);
    return out;
  }

  /// The lines of `record` as an output holds them, CR LF terminated.
  static std::string Written(const TestRecord& record) {
    std::string out;
    ReplayBuilder crlf;
    crlf.AppendRecord(record, record.shared ? record.number : "0", out);
    return out;
  }

 private:
  static std::string Or(const std::string& given, std::size_t count) {
    return given.empty() ? std::to_string(count) : given;
  }
  void Line(const std::string& text, std::string& out) const { out += text + eol; }
  void Field(const std::string& label, const std::string& value, std::string& out) const {
    Line(label, out);
    Line(value, out);
  }
  void AppendRecord(const TestRecord& r, const std::string& number, std::string& out) const {
    Field("type,time", r.kindTime, out);
    Field("ipos", r.position.empty() ? r.tag + " ipos" : r.position, out);
    Field("bvel", r.velocity.empty() ? r.tag + " bvel" : r.velocity, out);
    Field("theta,phi,psi", r.tag + " angles", out);
    Field("p,q,r", r.tag + " rates", out);
    Field("number", number, out);
    if (r.shared) return;
    Field("fsteering_angle,rsteering_angle", r.tag + " steering", out);
    Field("frtire_theta,fltire_theta,rrtire_theta,rltire_theta", r.tag + " tires", out);
    Field("eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber", r.tag + " controls", out);
    Field("damageCode,gear", r.tag + " damage", out);
  }
};

/// A race of three vehicles, Ann, Bo and Cy, with one shared record and one of each vehicle.
inline ReplayBuilder ThreeVehicleRace() {
  ReplayBuilder replay;
  replay.vehicles.push_back({"truck.trk", "Cy"});
  replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1"), Vehicle("v2", "2")};
  return replay;
}

}  // namespace vehisect::testing
