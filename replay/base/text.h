#pragma once

#include <string>
#include <string_view>

namespace vehisect {

/// Replaces every occurrence of `find` in `source` by `replacement`, left to right, without
/// overlap; raises ReplayError when a match lies beyond the 16-bit position 32767.
std::string ReplaceText(const std::string& source, const std::string& find,
                        const std::string& replacement);

/// `text` without the bytes of `leading` at its start and those of `trailing` at its end.
std::string_view Trim(std::string_view text, std::string_view leading, std::string_view trailing);

/// `text` without leading and trailing space characters (code 32; tabs stay).
inline std::string_view TrimSpaces(std::string_view text) { return Trim(text, " ", " "); }

/// `text` with the ASCII letters a to z upper-cased; every other byte stays.
std::string UpperAscii(std::string_view text);

}  // namespace vehisect
