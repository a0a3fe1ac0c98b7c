#include "replay/error.h"

#include <system_error>

namespace vehisect {

ReplayError::ReplayError(const std::string& what, Kind kind) : std::runtime_error(what), kind_(kind) {}

namespace {

// Built by appending: GCC 12 warns falsely (-Wrestrict) about chains of string operator+.
std::string Located(const std::string& file, const std::string& line, const std::string& what) {
  std::string message = file;
  if (!line.empty()) message.append(":").append(line);
  return message.append(": ").append(what);
}

}  // namespace

ReplayError::ReplayError(const std::string& file, const std::string& what, Kind kind)
    : std::runtime_error(Located(file, "", what)), kind_(kind) {}

ReplayError::ReplayError(const std::string& file, std::uint64_t line, const std::string& what)
    : std::runtime_error(Located(file, std::to_string(line), what)) {}

ReplayError ReplayError::Cancelled(const std::string& file) {
  return ReplayError(Located(file, "", "expected to split the replay, found the run stopped; "
                                       "no output was written or changed"),
                     Kind::kCancelled);
}

std::string Quoted(std::string_view text) {
  // A corrupt line can be a megabyte of binary; the message only needs its start, and stays
  // ASCII, but for the ellipsis, so that any front end can show it whatever the replay's
  // code page.
  constexpr std::size_t kShown = 60;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 32 || c >= 127) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kShown) out += "\u2026";
  out += '"';
  return out;
}

std::string SystemErrorText(int error) {
  return error != 0 ? std::generic_category().message(error) : "an unknown error";
}

}  // namespace vehisect
