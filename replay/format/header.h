#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "replay/format/reader.h"

namespace vehisect {

/// The most vehicles and object-location lines a replay may hold.
constexpr int kMaxVehicles = 8;
constexpr int kMaxObjects = 541;
/// The most bytes a replay may hold before its first record; a corrupt header must not make a
/// run take all memory.
constexpr std::uint64_t kMaxHeaderBytes = std::uint64_t{4} << 20;
/// The largest record count, 2^53: the largest whole number a double holds exactly. Progress
/// values are float, exact to 2^24; beyond that the bar moves in coarser steps.
constexpr std::int64_t kMaxRecords = std::int64_t{1} << 53;

/// One vehicle of the vehicle list.
struct VehicleEntry {
  std::string vehicle;  ///< the vehicle file name line, as read
  std::string driver;   ///< the driver line, with the generic names made unique
};

/// The header of a replay: everything before the record stream.
struct ReplayHeader {
  std::string level;      ///< the level line, space-trimmed and upper-cased
  std::string levelName;  ///< `level` without its ".SIT"
  std::string weather;
  int vehicleCount = 0;
  std::vector<VehicleEntry> vehicles;
  std::string detailLevel;
  std::string recordPtr;    ///< the "demoRecordPtr" value line
  std::string recordCount;  ///< the "demoRecordCount" value line
  std::uint64_t records = 0;
  std::string objectCount;  ///< the "Original object locations" value line
  std::vector<std::string> objects;
};

/// Reads and checks the header, raising ReplayError on any fault; for a one-vehicle replay it
/// stops after the vehicle count, which is all a refusal needs.
ReplayHeader ReadHeader(LineReader& reader);

/// Reads the rest of the header after the vehicle count, as ReadHeader does for a replay of
/// several vehicles; for reading a one-vehicle replay through to its records.
void ReadRestOfHeader(LineReader& reader, ReplayHeader& header);

/// The lines, without terminators, of the header of the one-vehicle replay for vehicle `k`
/// (0-based), as views into `header`; its "demoRecordPtr" carries the input's pointer when
/// `useRecordPtr`, else its record count.
std::vector<std::string_view> OutputHeaderLines(const ReplayHeader& header, std::size_t k,
                                                bool useRecordPtr);

}  // namespace vehisect
