#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace vehisect {

/// Opens the replay file at `path` for reading, named `shown` in errors; raises ReplayError
/// for a missing file, a folder, a pipe or device, or a file that cannot be read.
std::ifstream OpenReplay(const std::filesystem::path& path, const std::string& shown);

}  // namespace vehisect
