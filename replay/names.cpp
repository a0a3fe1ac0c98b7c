#include "replay/names.h"

#include <algorithm>
#include <cstring>

#include "replay/error.h"
#include "replay/reader.h"

namespace vehisect {
namespace {

// Code points of the Windows-1252 bytes 0x80 to 0x9F; the five bytes it leaves undefined
// keep their own value, as in Latin-1.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

template <typename String>
void AppendUtf8(String& out, char32_t c) {
  using Char = typename String::value_type;
  if (c < 0x80) {
    out += static_cast<Char>(c);
  } else if (c < 0x800) {
    out += static_cast<Char>(0xC0 | (c >> 6));
    out += static_cast<Char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<Char>(0xE0 | (c >> 12));
    out += static_cast<Char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<Char>(0x80 | (c & 0x3F));
  }
}

char32_t CodePoint(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b};
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

// The Windows-1252 byte of the simple case folding of the letter `byte` stands for: Windows,
// macOS and the FAT, exFAT and NTFS disks that replays travel on ignore the case of every
// letter, not only of A to Z.
unsigned char FoldByte(unsigned char byte) {
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) return byte + 32;
  switch (byte) {
    case 0x8A: return 0x9A;  // Š š
    case 0x8C: return 0x9C;  // Œ œ
    case 0x8E: return 0x9E;  // Ž ž
    case 0x9F: return 0xFF;  // Ÿ ÿ
    default: return byte;
  }
}

}  // namespace

std::string SafeFileName(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) c = '_';
  }
  return out;
}

std::string FoldCase(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
  return out;
}

namespace {

// The length of the file name `name` as the file system counts it: UTF-16 units on Windows,
// where every Windows-1252 character is one, and UTF-8 bytes elsewhere.
std::size_t NameLength(std::string_view name) {
#ifdef _WIN32
  return name.size();
#else
  return Utf8FromCp1252(name).size();
#endif
}

// The longest file name that Windows, Linux and macOS allow.
constexpr std::size_t kMaxNameLength = 255;

// `driver` shortened, a character at a time, until `prefix` + it + `tail` makes a name the
// file system allows; the driver line inside the output keeps its whole text.
std::string Fitted(const std::string& prefix, std::string driver, const std::string& tail) {
  while (!driver.empty() && NameLength(prefix + driver + tail) > kMaxNameLength) driver.pop_back();
  return driver;
}

}  // namespace

std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file) {
  const std::string prefix = "VH_" + SafeFileName(header.levelName) + "_";
  std::vector<std::string> names;
  const auto taken = [&](const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& other) { return FoldCase(name) == FoldCase(other); });
  };
  for (std::size_t i = 0; i < header.vehicles.size(); ++i) {
    const std::string driver = SafeFileName(header.vehicles[i].driver);
    std::string name = prefix + Fitted(prefix, driver, ".rpl") + ".rpl";
    if (taken(name)) {
      // Windows would open the earlier vehicle's file again; the position tells them apart.
      const std::string tail = std::to_string(i + 1) + ".rpl";
      name = prefix + Fitted(prefix, driver, tail) + tail;
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

std::vector<std::size_t> SelectVehicles(const ReplayHeader& header,
                                        const std::vector<std::string>& which,
                                        const std::string& file) {
  const std::size_t count = header.vehicles.size();
  std::vector<bool> chosen(count, which.empty());
  for (const std::string& entry : which) {
    bool found = false;
    const auto position = ParseWholeNumber(entry, 1, static_cast<std::int64_t>(count));
    for (std::size_t k = 0; k < count; ++k) {
      const bool named = SameIgnoringAsciiCase(entry, Utf8FromCp1252(header.vehicles[k].driver));
      if (named || (position && static_cast<std::size_t>(*position) == k + 1)) {
        chosen[k] = true;
        found = true;
      }
    }
    if (!found) {
      std::string list;
      for (std::size_t k = 0; k < count; ++k) {
        list.append(k ? ", " : "").append(std::to_string(k + 1)).append(" ");
        list.append(Utf8FromCp1252(header.vehicles[k].driver));
      }
      throw ReplayError(file, "expected a vehicle position from 1 to " + std::to_string(count) +
                                  " or a driver, found \"" + entry + "\"; its vehicles are " + list);
    }
  }
  std::vector<std::size_t> positions;
  for (std::size_t k = 0; k < count; ++k) {
    if (chosen[k]) positions.push_back(k);
  }
  return positions;
}

std::string Utf8FromCp1252(std::string_view text) {
  std::string utf8;
  for (const char byte : text) AppendUtf8(utf8, CodePoint(byte));
  return utf8;
}

std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name) {
  std::u8string utf8;
  for (const char byte : name) AppendUtf8(utf8, CodePoint(byte));
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
