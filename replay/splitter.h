#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "replay/outputs.h"
#include "replay/window_ops.h"

namespace vehisect {

/// What a run did, beyond the window operations it called.
struct SplitResult {
  bool refused = false;              ///< a one-vehicle replay: nothing to split, nothing written
  std::vector<std::string> outputs;  ///< the names of the outputs written, in vehicle order
};

/// Splits the replay read from `replay` (named `replayName` in errors) into one replay per
/// vehicle in `outputs`, reporting through `window`; raises ReplayError on any fault, and then
/// no output is left in `outputs`.
SplitResult SplitReplay(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                        WindowOps& window, OutputStore& outputs);

/// Splits the replay file `replayPath` into files in `outputFolder`; as above, and any file
/// of the same name as an output stays as it was when the run fails.
SplitResult SplitReplay(const std::filesystem::path& replayPath, bool useRecordPtr,
                        WindowOps& window, const std::filesystem::path& outputFolder);

}  // namespace vehisect
