#pragma once

#include <string>
#include <string_view>

namespace vehisect {

/// The terminator every written line carries; on reading, a CR alone ends a line too.
inline constexpr std::string_view kLineEnd = "\r\n";

/// Appends `line` and the CR LF terminator that every written line carries.
inline void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append(kLineEnd);
}

}  // namespace vehisect
