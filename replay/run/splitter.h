#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "replay/commit/batch.h"
#include "replay/base/cancel.h"
#include "replay/commit/outputs.h"
#include "replay/run/progress_sink.h"

namespace vehisect {

/// The message that refuses a one-vehicle replay, as the game's players know it, and its title.
inline constexpr std::string_view kRefusal = "Only 1 Vehical\r\nNothing to Rip";
inline constexpr std::string_view kRefusalTitle = "Aborting";

/// The refusal on one line, for lists of failures: "Only 1 Vehical, Nothing to Rip".
std::string RefusalOnOneLine();

/// How a run splits, beyond the replay and where its outputs go.
struct SplitOptions {
  bool useRecordPtr = false;          ///< what the "Use demoRecordPtr" check box does
  std::vector<std::string> vehicles;  ///< positions or drivers (UTF-8) to write; empty: all
  bool plainRecords = true;           ///< take the fast path for records as the game writes them
  /// As a listing compares: a one-vehicle replay is written too, and a stream that ends at a
  /// record's start ends there, as in one of these outputs, which holds only its own records.
  bool asListed = false;
  /// How the outputs are committed: its stop is honoured while the replay is read too, and its
  /// batch checks the names; a file run compares races with SameRace.
  CommitOptions commit;
};

/// What a run did, beyond the progress it reported.
struct SplitResult {
  bool refused = false;              ///< a one-vehicle replay: nothing to split, nothing written
  std::vector<std::string> outputs;  ///< the names of the outputs written, in vehicle order
  std::vector<std::filesystem::path> files;  ///< their paths, as the store put them
  std::vector<std::string> warnings;  ///< what went wrong once the outputs were in place
};

/// Splits the replay read from `replay` (named `replayName` in errors) into one replay per
/// vehicle in `outputs`, reporting through `window`; raises ReplayError on any fault or stop,
/// and then no output is left in `outputs`.
SplitResult SplitReplay(std::istream& replay, const std::string& replayName,
                        const SplitOptions& options, ProgressSink& window, OutputStore& outputs);

/// As above, with every vehicle and only the record-pointer option.
SplitResult SplitReplay(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                        ProgressSink& window, OutputStore& outputs);

/// Splits the replay file `replayPath` into files in `outputFolder` through `files`; as
/// above, and any file of the same name as an output stays as it was when the run fails.
SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, const SplitOptions& options,
                        ProgressSink& progress, const std::filesystem::path& outputFolder);

/// As above, with every vehicle and only the record-pointer option.
SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, bool useRecordPtr,
                        ProgressSink& progress, const std::filesystem::path& outputFolder);

}  // namespace vehisect
