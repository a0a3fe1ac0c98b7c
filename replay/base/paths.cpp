#include "replay/base/paths.h"

#include "replay/base/encoding.h"

namespace vehisect {
namespace {

// The length of the Windows-1252 character `c` in a file name as the file system counts it:
// UTF-16 units on Windows, where every Windows-1252 character is one, and UTF-8 bytes
// elsewhere.
std::size_t CharLength(char c) {
#ifdef _WIN32
  (void)c;
  return 1;
#else
  const char32_t code = Cp1252CodePoint(c);
  return code < 0x80 ? 1 : code < 0x800 ? 2 : 3;
#endif
}

}  // namespace

std::size_t NameLength(std::string_view name) {
  std::size_t length = 0;
  for (const char c : name) length += CharLength(c);
  return length;
}

std::string_view FittedPart(std::string_view prefix, std::string_view part, std::string_view tail) {
  std::size_t length = NameLength(prefix) + NameLength(tail);
  std::size_t kept = 0;
  while (kept < part.size() && length + CharLength(part[kept]) <= kMaxNameLength) length += CharLength(part[kept++]);
  return part.substr(0, kept);
}

std::string FittedName(std::string_view start, const std::string& tail) {
  return std::string(FittedPart("", start, tail)) + tail;
}

std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name) {
  const std::string utf8 = Utf8FromCp1252(name);
  return folder / PathFromUtf8(utf8);
}

std::filesystem::path FolderOf(const std::filesystem::path& folder) { return folder.empty() ? "." : folder; }

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace vehisect
