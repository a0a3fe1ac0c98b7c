#pragma once

#include <filesystem>
#include <system_error>

namespace vehisect {

/// Copies the bytes of the file `from` to a new file `to`, for file systems without hard
/// links; on a failure `to` is removed.
std::error_code CopyBytes(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace vehisect
