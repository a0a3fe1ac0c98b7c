#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vehisect {

/// What the window program is started with.
struct StartOptions {
  bool help = false;     ///< -h, --help: the usage, and nothing else
  bool version = false;  ///< -V, --version: the version, and nothing else
  bool choose = false;   ///< --choose: the replays given open with "Choose vehicles" ticked
  std::vector<std::filesystem::path> replays;
  std::string problem;  ///< a usage error, when not empty
};

/// Reads the window program's arguments `args` (UTF-8, its name left out), before any window
/// toolkit starts, so that --help and --version need no display. "--" ends the options.
StartOptions ReadStartOptions(const std::vector<std::string>& args);

/// The window program's --help: its usage, what it does and its options.
std::string StartHelp();

}  // namespace vehisect
