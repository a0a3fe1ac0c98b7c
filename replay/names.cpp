#include "replay/names.h"

#include <algorithm>
#include <cstring>

#include "replay/error.h"

namespace vehisect {
namespace {

// Code points of the Windows-1252 bytes 0x80 to 0x9F; the five bytes it leaves undefined
// keep their own value, as in Latin-1.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::u8string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char8_t>(c);
  } else if (c < 0x800) {
    out += static_cast<char8_t>(0xC0 | (c >> 6));
    out += static_cast<char8_t>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char8_t>(0xE0 | (c >> 12));
    out += static_cast<char8_t>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char8_t>(0x80 | (c & 0x3F));
  }
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::string SafeFileName(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) c = '_';
  }
  return out;
}

std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file) {
  const std::string prefix = "VH_" + SafeFileName(header.levelName) + "_";
  std::vector<std::string> names;
  const auto taken = [&](const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& other) { return SameIgnoringAsciiCase(name, other); });
  };
  for (std::size_t i = 0; i < header.vehicles.size(); ++i) {
    const std::string driver = SafeFileName(header.vehicles[i].driver);
    std::string name = prefix + driver + ".rpl";
    if (taken(name)) {
      // Windows would open the earlier vehicle's file again; the position tells them apart.
      name = prefix + driver + std::to_string(i + 1) + ".rpl";
      if (taken(name)) {
        throw ReplayError(file, "expected a free output name for vehicle " +
                                    std::to_string(i + 1) + ", found " + Quoted(name) +
                                    " already given to another vehicle");
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name) {
  std::u8string utf8;
  for (const char byte : name) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(utf8, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
  }
  return folder / std::filesystem::path(utf8);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace vehisect
