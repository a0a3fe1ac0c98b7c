#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "replay/header.h"

namespace vehisect {

/// `text` with every character that Windows forbids in file names (< > : " / \ | ? * and
/// codes 0 to 31) replaced by '_'.
std::string SafeFileName(std::string_view text);

/// The output file names of the vehicles of `header`, in Windows-1252 like the replay:
/// "VH_" + level name + "_" + driver + ".rpl", made safe, and made unique ignoring ASCII case
/// by appending the vehicle's position to a repeated driver part. Raises ReplayError naming
/// `file` when a name is still taken after that.
std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file);

/// The path of the file called `name` (Windows-1252 bytes) in `folder`.
std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name);

/// The path whose text is `utf8`.
std::filesystem::path PathFromUtf8(std::string_view utf8);

/// The text of `path` in UTF-8, for messages.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace vehisect
