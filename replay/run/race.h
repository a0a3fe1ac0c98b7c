#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replay/format/record.h"

namespace vehisect {

/// A place on a level seen from above, in feet: x to the east, z to the north.
struct GroundPoint {
  float x = 0, z = 0;
  bool starts = false;  ///< begins a stretch: the first point, or the first after a reset
};

/// One vehicle's race: its numbers, each absent where a value it is made from is not a
/// number, and its path, thinned to at most kMaxPathPoints points.
struct VehicleRace {
  std::optional<double> seconds;       ///< from its first record to its last
  std::optional<double> distanceFeet;  ///< the sum of its steps on the ground, resets left out
  std::optional<double> topSpeedMph;   ///< its largest speed
  std::vector<GroundPoint> path;
};

/// A race seen from above: the level's objects, each vehicle's race, and the bounds that hold
/// them all: the level's 0 to 8192 ft, grown to take in anything beyond it.
struct RaceMap {
  std::optional<double> seconds;  ///< from the race's first record to its last
  std::vector<GroundPoint> objects;
  std::vector<VehicleRace> vehicles;
  float minX = 0, minZ = 0, maxX = 8192, maxZ = 8192;
};

/// The most points a vehicle's path keeps.
inline constexpr std::size_t kMaxPathPoints = 2048;
/// The fastest a vehicle is taken to drive, ft/s (300 mph): a longer step between two records
/// is a reset, which breaks its path.
inline constexpr double kFastestDriven = 440;

/// The colour of vehicle `k` in every picture of a race, "#rrggbb".
const char* VehicleColour(std::size_t k);

/// Gathers a race's map from its records as they are read, in little memory.
class RaceGatherer {
 public:
  /// For a replay of `vehicles` vehicles and the object-location lines `objects`.
  RaceGatherer(std::size_t vehicles, const std::vector<std::string>& objects);
  ~RaceGatherer();
  RaceGatherer(const RaceGatherer&) = delete;
  RaceGatherer& operator=(const RaceGatherer&) = delete;
  /// Takes the next record of the stream.
  void Take(const RecordFields& record);
  /// The map of what was taken.
  RaceMap Finish();

 private:
  struct Vehicle;
  void TakeVelocity(Vehicle& v, std::string_view line);
  void Add(Vehicle& v, GroundPoint point);
  RaceMap map_;
  std::vector<Vehicle> state_;
  std::optional<std::string> first_;  // the race's first time, as its record holds it
  std::string last_;
};

}  // namespace vehisect
