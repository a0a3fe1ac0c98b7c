#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/run/progress_sink.h"
#include "replay/run/race.h"

namespace vehisect {

/// What stands under an output's name in the output folder.
enum class Existing { kNone, kSameRace, kOtherRace };

/// One vehicle of a replay as a listing shows it. Texts are Windows-1252, like the replay.
struct VehicleListing {
  int position = 0;          ///< 1 to N, as the vehicle list holds it
  std::string vehicle;       ///< the vehicle file line, as read
  std::string driver;        ///< the driver as its output shows it
  std::string output;        ///< the name of its output file
  std::uint64_t records = 0;  ///< its own records, not counting the shared ones
  Existing existing = Existing::kNone;  ///< the file under the output's name, if any
};

/// What a replay holds, read through to its last record with the checks of a split.
struct ReplayListing {
  std::string level;  ///< the level line, space-trimmed and upper-cased
  std::string weather;
  std::string detailLevel;
  std::string recordPtr;
  std::uint64_t records = 0;        ///< R, the record count
  /// The records the file holds: R, or fewer in one of Vehisect's own outputs, which keeps the
  /// race's count and holds only its vehicle's records.
  std::uint64_t held = 0;
  int objects = 0;                  ///< M, the object-location count
  std::uint64_t sharedRecords = 0;  ///< records of kind 1, which every output holds
  std::vector<VehicleListing> vehicles;
  RaceMap race;  ///< the race seen from above, with each vehicle's numbers, in vehicle order
};

/// Reads the replay from `replay` (named `replayName` in errors) through to its last record
/// and lists it, writing nothing, reporting the records read to `progress` if any; raises
/// ReplayError where a split would, or when `cancel` asks it to stop. A one-vehicle replay is
/// listed too, and one of Vehisect's outputs, whose stream ends before its count.
ReplayListing ListReplay(std::istream& replay, const std::string& replayName, ProgressSink* progress = nullptr,
                         const CancelToken* cancel = nullptr);

/// Lists the replay file `replayPath`, as above, and tells for each output whether a file
/// of its name in `outputFolder`, seen through `files`, holds the same race or another one.
ReplayListing ListReplay(FileSystem& files, const std::filesystem::path& replayPath,
                         const std::filesystem::path& outputFolder, ProgressSink* progress = nullptr,
                         const CancelToken* cancel = nullptr);

}  // namespace vehisect
