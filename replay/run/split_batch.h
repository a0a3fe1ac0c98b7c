#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/base/other_race.h"
#include "replay/run/listing.h"
#include "replay/run/progress_sink.h"
#include "replay/run/split_options.h"

namespace vehisect {

/// How one replay of a batch went.
struct ReplayOutcome {
  enum class Kind {
    kSplit,        ///< its outputs are in place
    kRefused,      ///< one vehicle: nothing to split, nothing written
    kDeclined,     ///< left as it was at the player's answer about another race's files
    kFailed,       ///< it failed, and nothing was written or changed
    kNotRestored,  ///< it failed, and some files could not be put back as they were
    kStopped,      ///< stopped by the player; nothing was written or changed
  };
  std::filesystem::path replay;
  Kind kind = Kind::kSplit;
  std::vector<std::filesystem::path> files;  ///< the outputs written, in vehicle order
  std::string message;                       ///< why it was not split, as errors read (UTF-8)
  std::vector<std::string> warnings;         ///< what went wrong once the outputs were in place
};

/// What a front end asks of a batch, beyond its replays.
struct BatchOptions {
  /// How each replay is split.
  SplitOptions split;
  /// The player's stop: honoured while a replay is read, and while a commit waits for its
  /// folder; once a commit has begun it runs to its end.
  const CancelToken* cancel = nullptr;
  /// Asked about existing files of another race under the outputs' names; none: kStop.
  OtherRaceChoice otherRace;
  /// Told once, with the folder, when a commit must wait for another run's lock on it.
  std::function<void(const std::filesystem::path& folder)> waiting;
  /// Hears which leftovers of other runs a commit removes or leaves.
  std::function<void(const std::string& note)> notice;
  /// The folder for the outputs of `replay`; none: the replay's own folder.
  std::function<std::filesystem::path(const std::filesystem::path& replay)> folderFor;
  /// Told as each replay begins, before any progress of it.
  std::function<void(const std::filesystem::path& replay)> starting;
  /// Told of each replay's outcome as soon as it is known.
  std::function<void(const ReplayOutcome& outcome)> finished;
  /// When set, each replay of several vehicles is first read through and listed, its progress
  /// reported as a split's, and this is asked which of its vehicles to write: their positions,
  /// from 1; none leaves the replay as it was (a kDeclined outcome).
  std::function<std::optional<std::vector<int>>(const std::filesystem::path& replay, const ReplayListing& listing)>
      chooseVehicles;
  /// The progress goes out at most this often, and always at a replay's last record.
  std::chrono::milliseconds progressEvery{33};
};

/// Whether a new file can be created in `folder`: tried with a temporary file, removed at once.
bool CanWriteIn(FileSystem& files, const std::filesystem::path& folder);

/// Splits `replays` in turn through `files`, each as SplitReplay does, none of their outputs
/// replacing another of them or what an earlier one wrote, reporting their progress to
/// `progress`; a stop ends the batch. One outcome per replay begun, in order.
std::vector<ReplayOutcome> SplitBatch(FileSystem& files, const std::vector<std::filesystem::path>& replays,
                                      const BatchOptions& options, ProgressSink& progress);

}  // namespace vehisect
