#pragma once

#include <string>
#include <string_view>

namespace vehisect {

/// Replaces every occurrence of `find` in `source` by `replacement`, left to right, without
/// overlap; raises ReplayError when a match lies beyond the 16-bit position 32767.
std::string ReplaceText(const std::string& source, const std::string& find,
                        const std::string& replacement);

/// `text` without leading and trailing space characters (code 32; tabs stay).
std::string_view TrimSpaces(std::string_view text);

/// `text` with the ASCII letters a to z upper-cased; every other byte stays.
std::string UpperAscii(std::string_view text);

}  // namespace vehisect
