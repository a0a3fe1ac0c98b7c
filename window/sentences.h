#pragma once

// The sentences the windows show, made from what a run did: the flow decides which to show,
// these say it. Every text is UTF-8.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "replay/run/listing.h"

namespace vehisect {

/// What the "Choose vehicles" dialog shows of a replay: texts, and the race to draw.
struct VehicleChoice {
  std::string intro;    ///< what it asks, naming the replay
  std::string summary;  ///< the replay's level, weather and records
  /// A vehicle: its position, driver, vehicle, own records, time, distance and top speed,
  /// output's name, what a file of that name in the output folder holds now, and its colour
  /// in the picture ("#rrggbb").
  struct Row {
    std::string position, driver, vehicle, records, time, distance, topSpeed, output, existing, colour;
  };
  std::vector<Row> rows;
  RaceMap race;  ///< the race seen from above, its vehicles in the rows' order
  /// Writes the picture of the vehicles `drawn` (rows, from 0) to `file`, replacing a file
  /// there: "" when it is written, else why not (UTF-8).
  std::function<std::string(const std::filesystem::path& file, const std::vector<std::size_t>& drawn)> savePicture;
};

/// The dialog's texts for the listing `listing` of the replay `replay`.
VehicleChoice ChoiceOf(const std::filesystem::path& replay, const ReplayListing& listing);

/// The question asked when the outputs of `replay` would replace `files`, which hold another
/// race: "race2.rpl: VH_CANYON_Ann.rpl and 2 more already hold another race."
std::string OtherRaceText(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& files);

/// `text` with a line break put into every run of more than `width` characters without a
/// space, after a path separator where there is one, so that a message box can wrap it.
std::string WrapLongWords(const std::string& text, std::size_t width = 60);

/// The window's title while a run waits for another one's lock on `folder`.
std::string WaitingTitle(const std::filesystem::path& folder);

/// After a stop: "Stopped. Split before the stop: a.rpl, b.rpl."
std::string StoppedText(const std::vector<std::filesystem::path>& split);

/// After a run some of whose replays were left as they were at the player's answer:
/// "Split: a.rpl. Left as it was: b.rpl."
std::string SplitAndLeftText(const std::vector<std::filesystem::path>& split,
                             const std::vector<std::filesystem::path>& left);

/// How a run that had failures went, counted.
struct FailureCount {
  std::size_t replays = 0;  ///< in the run
  std::size_t failed = 0;
  std::size_t split = 0;
  bool changed = false;           ///< some files could not be put back as they were
  std::filesystem::path only;     ///< the replay, when the run had one
};

/// The heading of a summary of failures: "Could not split 2 of 5 replays; …".
std::string FailureHeading(const FailureCount& count);

/// `messages` one below the other, the first few, then how many more; where every failure is
/// of one replay folder, `folder`, it is named once above them and left out of each.
std::string FailureDetails(std::vector<std::string> messages, const std::filesystem::path& folder = {});

}  // namespace vehisect
