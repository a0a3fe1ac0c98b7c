#include "replay/run/race.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "replay/format/items.h"
#include "replay/format/numbers.h"

namespace vehisect {
namespace {

// A record's time is in 1/65536 s; the game writes a frame every 16,384.
constexpr double kTicksPerSecond = 65536;
constexpr double kFrameSeconds = 0.25;
constexpr double kMphPerFootPerSecond = 0.681818;

// The numbers at `wanted` (ascending) among the items of the value line `line`; nothing when
// it holds fewer items, or one of them is not a number.
template <std::size_t n>
std::optional<std::array<double, n>> Numbers(std::string_view line, const std::array<std::size_t, n>& wanted) {
  std::array<double, n> values{};
  // A line as the game writes it is read in one pass; any other item by item.
  if (std::array<double, 6> all; ParsePlainMeasures(line, all.data(), wanted.back() + 1)) {
    for (std::size_t i = 0; i < n; ++i) values[i] = all[wanted[i]];
    return values;
  }
  std::array<std::string_view, 6> items;
  if (SplitItems(line, items.data(), wanted.back() + 1) < wanted.back() + 1) return std::nullopt;
  for (std::size_t i = 0; i < n; ++i) {
    const std::optional<double> value = ParseMeasure(items[wanted[i]]);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    values[i] = *value;
  }
  return values;
}

// More than the squared length of the vector a plain value line "x,y,z" reads, from each
// item's first three digits and the places before its point, in one pass; none for a line
// that is not three plain items. Far cheaper than reading the numbers.
std::optional<double> SquareAbove(std::string_view line) {
  double sum = 0, lead = 0, scale = 1;
  int items = 0, digits = 0;
  bool point = false;
  const auto end = [&] {
    if (digits == 0) return false;
    sum += (lead + 1) * scale * (lead + 1) * scale;
    lead = 0, scale = 1, digits = 0, point = false;
    return ++items <= 3;
  };
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c >= '0' && c <= '9') {
      if (point) continue;
      if (digits++ < 3) lead = lead * 10 + (c - '0');
      else scale *= 10;
    } else if (c == '.' && !point && digits > 0) {
      point = true;
    } else if (c == ',') {
      if (!end()) return std::nullopt;
    } else if (!(c == '-' && digits == 0 && !point && (i == 0 || line[i - 1] == ','))) {
      return std::nullopt;
    }
  }
  if (!end() || items != 3) return std::nullopt;
  return sum;
}

// x and z of an x,y,z line: the ground.
std::optional<std::array<double, 2>> Ground(std::string_view line) { return Numbers<2>(line, {0, 2}); }

// The time a record's time item tells, in seconds.
std::optional<double> Seconds(std::string_view item) {
  const std::optional<double> ticks = ParseNumber(item);
  if (!ticks || !std::isfinite(*ticks)) return std::nullopt;
  return *ticks / kTicksPerSecond;
}

}  // namespace

struct RaceGatherer::Vehicle {
  std::optional<std::string> firstTime;  // as the records hold them
  std::string times[2];                  // its last two, kept where they stand
  int last = 0;                          // which of them is the last
  const std::string& lastTime() const { return times[last]; }
  bool positionsValid = true, velocitiesValid = true;
  GroundPoint at;  // where it was at its last record with a position
  bool placed = false;
  double distance = 0, topSpeed = 0;  // the top speed squared, until the end
  bool breakNext = true;
  std::size_t taken = 0, stride = 1;  // a point of every `stride` records is kept
};

// The seconds from the time item `from` to `to`; nothing where either is not a number.
std::optional<double> Between(const std::string& from, const std::string& to) {
  const std::optional<double> a = Seconds(from), b = Seconds(to);
  if (!a || !b) return std::nullopt;
  return *b - *a;
}

// The seconds between two records, for a reset; 0 where a time is not a number or goes back.
double StepSeconds(const std::string& from, const std::string& to) {
  const std::optional<double> seconds = Between(from, to);
  return seconds && *seconds > 0 ? *seconds : 0;
}

const char* VehicleColour(std::size_t k) {
  // Tableau 10: told apart on white, and by most colour-blind eyes.
  static const char* const kColours[] = {"#4e79a7", "#f28e2b", "#e15759", "#59a14f",
                                         "#b07aa1", "#76b7b2", "#edc948", "#9c755f"};
  return kColours[k % 8];
}

RaceGatherer::RaceGatherer(std::size_t vehicles, const std::vector<std::string>& objects) : state_(vehicles) {
  map_.vehicles.resize(vehicles);
  for (const std::string& object : objects) {
    // x,y,z,theta,phi,psi: the ground is x and z.
    if (const auto xz = Ground(object)) {
      map_.objects.push_back({static_cast<float>((*xz)[0]), static_cast<float>((*xz)[1]), false});
    }
  }
}

RaceGatherer::~RaceGatherer() = default;

void RaceGatherer::Take(const RecordFields& record) {
  // Only the first and the last time count, and a time between only where a long step asks
  // whether it could be driven: the others are kept as text, not read.
  if (!first_) first_ = std::string(record.time);
  last_.assign(record.time);
  if (record.shared) return;
  Vehicle& v = state_[record.vehicle];
  if (!v.firstTime) v.firstTime = std::string(record.time);
  v.last ^= 1;
  v.times[v.last].assign(record.time);
  const std::string& previous = v.times[v.last ^ 1];
  TakeVelocity(v, record.velocity);
  const auto position = Ground(record.position);
  if (!position) {
    v.positionsValid = false;
    v.breakNext = true;
    return;
  }
  GroundPoint point{static_cast<float>((*position)[0]), static_cast<float>((*position)[1]), v.breakNext};
  if (!point.starts) {
    const double dx = point.x - v.at.x, dz = point.z - v.at.z;
    const double step = std::sqrt(dx * dx + dz * dz);
    // A step longer than the fastest drive in the time between the records is a reset.
    point.starts = step > kFastestDriven * kFrameSeconds && step > kFastestDriven * StepSeconds(previous, v.lastTime());
    if (!point.starts) v.distance += step;
  }
  v.breakNext = false;
  v.at = point;
  v.placed = true;
  Add(v, point);
}

void RaceGatherer::TakeVelocity(Vehicle& v, std::string_view line) {
  // Compared squared; the root is taken once, at the end. Most records are slower than the
  // fastest so far, and their text alone tells.
  if (const std::optional<double> above = SquareAbove(line); above && *above <= v.topSpeed) return;
  if (const auto velocity = Numbers<3>(line, {0, 1, 2})) {
    const auto& [x, y, z] = *velocity;
    v.topSpeed = std::max(v.topSpeed, x * x + y * y + z * z);
  } else {
    v.velocitiesValid = false;
  }
}

void RaceGatherer::Add(Vehicle& v, GroundPoint point) {
  std::vector<GroundPoint>& path = map_.vehicles[static_cast<std::size_t>(&v - state_.data())].path;
  if (v.taken++ % v.stride == 0 || point.starts) path.push_back(point);
  if (path.size() < kMaxPathPoints) return;
  // Full: every second point goes, and from now on a point of twice as many records is kept.
  // A stretch that began at a point gone begins at the next one kept.
  std::size_t kept = 0;
  bool starts = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    starts = starts || path[i].starts;
    if (i % 2 != 0) continue;
    path[kept] = path[i];
    path[kept++].starts = std::exchange(starts, false);
  }
  path.resize(kept);
  v.stride *= 2;
}

RaceMap RaceGatherer::Finish() {
  if (first_) map_.seconds = Between(*first_, last_);
  for (std::size_t k = 0; k < state_.size(); ++k) {
    const Vehicle& v = state_[k];
    VehicleRace& race = map_.vehicles[k];
    if (!v.firstTime) continue;  // no record of its own
    race.seconds = Between(*v.firstTime, v.lastTime());
    if (v.positionsValid) race.distanceFeet = v.distance;
    if (v.velocitiesValid) race.topSpeedMph = std::sqrt(v.topSpeed) * kMphPerFootPerSecond;
    // Its last point ends its path, whichever points thinning kept.
    if (v.placed && (race.path.empty() || race.path.back().x != v.at.x || race.path.back().z != v.at.z)) {
      race.path.push_back(v.at);
    }
  }
  for (const VehicleRace& race : map_.vehicles) {
    for (const GroundPoint& p : race.path) {
      map_.minX = std::min(map_.minX, p.x), map_.maxX = std::max(map_.maxX, p.x);
      map_.minZ = std::min(map_.minZ, p.z), map_.maxZ = std::max(map_.maxZ, p.z);
    }
  }
  for (const GroundPoint& p : map_.objects) {
    map_.minX = std::min(map_.minX, p.x), map_.maxX = std::max(map_.maxX, p.x);
    map_.minZ = std::min(map_.minZ, p.z), map_.maxZ = std::max(map_.maxZ, p.z);
  }
  return std::move(map_);
}

}  // namespace vehisect
