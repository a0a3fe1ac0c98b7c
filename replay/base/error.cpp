#include "replay/base/error.h"

#include <system_error>

namespace vehisect {

namespace {

// Built by appending: GCC 12 warns falsely (-Wrestrict) about chains of string operator+.
std::string Message(const std::string& file, std::uint64_t line, const std::string& expected,
                    const std::string& found, const std::string& note) {
  std::string message = file;
  if (line != 0) message.append(":").append(std::to_string(line));
  if (!message.empty()) message.append(": ");
  return message.append("expected ").append(expected).append(", found ").append(found).append(note);
}

}  // namespace

ReplayError::ReplayError(std::string file, std::uint64_t line, std::string expected, std::string found, Kind kind)
    : ReplayError(std::move(file), line, std::move(expected), std::move(found), "", kind) {}

ReplayError::ReplayError(std::string file, std::uint64_t line, std::string expected, std::string found,
                         std::string note, Kind kind)
    : std::runtime_error(Message(file, line, expected, found, note)),
      file_(std::move(file)),
      line_(line),
      expected_(std::move(expected)),
      found_(std::move(found)),
      note_(std::move(note)),
      kind_(kind) {}

ReplayError ReplayError::Cancelled(const std::string& file) {
  return ReplayError(file, 0, "to split the replay", "the run stopped; no output was written or changed",
                     Kind::kCancelled);
}

ReplayError ReplayError::At(std::string file, std::uint64_t line) const {
  return ReplayError(std::move(file), line, expected_, found_, note_, kind_);
}

ReplayError ReplayError::With(const std::string& note, Kind kind) const {
  return ReplayError(file_, line_, expected_, found_, note_ + note, kind);
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
