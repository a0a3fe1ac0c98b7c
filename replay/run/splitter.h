#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "replay/commit/batch.h"
#include "replay/base/cancel.h"
#include "replay/commit/outputs.h"
#include "replay/run/progress_sink.h"
#include "replay/run/split_options.h"

namespace vehisect {

/// What a run did, beyond the progress it reported.
struct SplitResult {
  bool refused = false;              ///< a one-vehicle replay: nothing to split, nothing written
  std::vector<std::string> outputs;  ///< the names of the outputs written, in vehicle order
  std::vector<std::filesystem::path> files;  ///< their paths, as the store put them
  std::vector<std::string> warnings;  ///< what went wrong once the outputs were in place
};

/// Splits the replay read from `replay` (named `replayName` in errors) into one replay per
/// vehicle in `outputs`, reporting through `progress`; raises ReplayError on any fault or
/// `cancel`'s stop, and then no output is left in `outputs`.
SplitResult SplitReplay(std::istream& replay, const std::string& replayName, const SplitOptions& options,
                        ProgressSink& progress, OutputStore& outputs, const CancelToken* cancel = nullptr);

/// As above, with every vehicle and only the record-pointer option.
SplitResult SplitReplay(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                        ProgressSink& progress, OutputStore& outputs);

/// Splits the replay file `replayPath` into files in `outputFolder` through `files`, committed
/// as `commit` says (its stop is honoured while the replay is read too, and its batch checks
/// the names; races are compared with SameRace); as above, and any file of the same name as an
/// output stays as it was when the run fails.
SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, const SplitOptions& options,
                        ProgressSink& progress, const std::filesystem::path& outputFolder,
                        const CommitOptions& commit = {});

/// As above, with every vehicle and only the record-pointer option.
SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, bool useRecordPtr,
                        ProgressSink& progress, const std::filesystem::path& outputFolder);

}  // namespace vehisect
