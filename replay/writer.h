#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace vehisect {

/// Appends `line` and the CR LF terminator that every written line carries.
inline void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += "\r\n";
}

/// Appends a labelled field: the label line, then the value line.
inline void AppendField(std::string& out, std::string_view label, std::string_view value) {
  AppendLine(out, label);
  AppendLine(out, value);
}

/// Writes `bytes` to `out`, raising ReplayError naming `file` when the stream fails.
void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file);

}  // namespace vehisect
