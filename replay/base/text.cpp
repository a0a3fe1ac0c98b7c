#include "replay/base/text.h"

#include "replay/base/error.h"

namespace vehisect {

std::string ReplaceText(const std::string& source, const std::string& find,
                        const std::string& replacement) {
  if (find.empty() || replacement == find || source.empty()) return source;
  // Positions are 1-based and relative to the unsearched rest, and they were 16-bit
  // signed integers in the game's tools: a position after a match beyond 32767 overflows.
  constexpr std::size_t kMaxPosition = 32767;
  std::string result;
  std::string_view rest = source;
  for (;;) {
    const std::size_t found = rest.find(find);
    if (found == std::string_view::npos) {
      result += rest;
      return result;
    }
    const std::size_t pos = found + 1;
    const std::size_t next = pos + find.size();
    if (next > kMaxPosition) {
      throw ReplayError("", 0, "text to replace ending before character 32767",
                        "\"" + find + "\" ending at character " + std::to_string(next - 1));
    }
    result.append(rest.substr(0, found));
    result += replacement;
    rest = next > rest.size() ? std::string_view() : rest.substr(next - 1);
  }
}

std::string_view Trim(std::string_view text, std::string_view leading, std::string_view trailing) {
  const std::size_t first = text.find_first_not_of(leading);
  if (first == std::string_view::npos) return {};
  text.remove_prefix(first);
  const std::size_t last = text.find_last_not_of(trailing);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace vehisect
