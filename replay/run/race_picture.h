#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/run/listing.h"
#include "replay/run/progress_sink.h"

namespace vehisect {

/// A time on record as players read it, "m:ss.s"; "–" where it is absent.
std::string RaceTimeText(const std::optional<double>& seconds);
/// A distance, "12,345 ft"; "–" where it is absent.
std::string DistanceText(const std::optional<double>& feet);
/// A speed, "87 mph"; "–" where it is absent.
std::string SpeedText(const std::optional<double>& mph);

/// The 0-based positions of the vehicles of `listing` that `which` names, as -v names them
/// (positions from 1, drivers); every vehicle when it is empty. Raises ReplayError naming
/// `file` for an entry that names none.
std::vector<std::size_t> ChosenVehicles(const ReplayListing& listing, const std::vector<std::string>& which,
                                        const std::string& file);

/// Writes the race of `listing` seen from above as SVG to `out`, on the game's axes (x to the
/// right, z up, the level's 0 to 8192 ft): the level's objects as small grey marks, the paths
/// of the vehicles `drawn` (0-based) each in its colour, its start a dot and its end a square,
/// broken at each reset, and a legend naming each. The same bytes on every system.
void WriteRaceSvg(std::ostream& out, const ReplayListing& listing, const std::vector<std::size_t>& drawn);

/// Writes the picture of the vehicles `drawn` of `listing`, the listing of the replay file
/// `replay`, to the SVG file `picture` through `files`: whole before it takes its name, never
/// over the replay, and over a file of its name only when `replace`; raises ReplayError when
/// it cannot, and then nothing is changed.
void SaveRacePicture(FileSystem& files, const ReplayListing& listing, const std::vector<std::size_t>& drawn,
                     const std::filesystem::path& replay, const std::filesystem::path& picture, bool replace = true);

/// Draws the race of the replay file `replay` into the SVG file `picture` through `files`, of
/// the vehicles `which` names as ChosenVehicles takes it. Written whole before it takes its
/// name, never over the replay, and over a file of its name only when `replace`; raises
/// ReplayError when it cannot, and then nothing is changed.
void DrawRace(FileSystem& files, const std::filesystem::path& replay, const std::filesystem::path& picture,
              const std::vector<std::string>& which, bool replace, ProgressSink* progress = nullptr,
              const CancelToken* cancel = nullptr);

}  // namespace vehisect
