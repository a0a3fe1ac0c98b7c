#pragma once

#include <optional>
#include <string>
#include <vector>

#include "replay/run/split_options.h"

namespace vehisect::cli {

/// What the command line asks for.
struct Options {
  SplitOptions split;
  bool replace = false;
  bool keepBoth = false;
  bool quiet = false;
  bool list = false;
  bool json = false;
  std::string outputFolder;  ///< UTF-8; empty: the current folder
  std::string map;           ///< UTF-8: the picture to draw, instead of a split
  std::vector<std::string> replays;
};

/// A command line that cannot be run, and why.
struct UsageError {
  std::string problem;
};

/// Reads `args` (UTF-8, the program's name left out) as getopt_long does: short options
/// combine ("-qo DIR") and take their value attached or apart; long ones after "=" or apart.
/// Nothing when the program has answered already (--help, --version); raises UsageError.
std::optional<Options> ParseArguments(const std::vector<std::string>& args);

}  // namespace vehisect::cli
