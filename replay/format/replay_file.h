#pragma once

#include <filesystem>
#include <istream>
#include <memory>
#include <string>

#include "replay/base/file_system.h"

namespace vehisect {

/// Opens the replay file at `path` for reading through `files`, named `shown` in errors; raises
/// ReplayError for a missing file, a folder, a pipe or device, or a file that cannot be read.
std::unique_ptr<std::istream> OpenReplay(FileSystem& files, const std::filesystem::path& path, const std::string& shown);

}  // namespace vehisect
