#include "replay/names.h"

#include <algorithm>
#include <cstring>

#include "replay/error.h"
#include "replay/numbers.h"

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

std::string FoldUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(FoldByte(b));
      continue;
    }
    // The letters that fold are two bytes long in UTF-8; anything else is copied as it is.
    if ((b & 0xE0) != 0xC0 || i + 1 >= utf8.size()) {
      out += static_cast<char>(b);
      continue;
    }
    const char32_t c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
    char32_t folded = c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) folded = c + 0x20;
    if (c == 0x160 || c == 0x152 || c == 0x17D) folded = c + 1;  // Š Œ Ž
    if (c == 0x178) folded = 0xFF;                               // Ÿ
    AppendUtf8(out, folded);
    ++i;
  }
  return out;
}

namespace {

// The longest file name that Windows, Linux and macOS allow.
constexpr std::size_t kMaxNameLength = 255;

// The length of the Windows-1252 character `c` in a file name as the file system counts it:
// UTF-16 units on Windows, where every Windows-1252 character is one, and UTF-8 bytes
// elsewhere.
std::size_t CharLength(char c) {
#ifdef _WIN32
  (void)c;
  return 1;
#else
  const char32_t code = CodePoint(c);
  return code < 0x80 ? 1 : code < 0x800 ? 2 : 3;
#endif
}

std::size_t NameLength(std::string_view name) {
  std::size_t length = 0;
  for (const char c : name) length += CharLength(c);
  return length;
}

// The longest start of `driver` with which `prefix` + it + `tail` makes a name the file system
// allows; the driver line inside the output keeps its whole text.
std::string_view Fitted(const std::string& prefix, std::string_view driver, const std::string& tail) {
  std::size_t length = NameLength(prefix) + NameLength(tail);
  std::size_t kept = 0;
  while (kept < driver.size() && length + CharLength(driver[kept]) <= kMaxNameLength) {
    length += CharLength(driver[kept++]);
  }
  return driver.substr(0, kept);
}

}  // namespace

std::string FittedName(std::string_view start, const std::string& tail) {
  return std::string(Fitted("", start, tail)) + tail;
}

namespace {

std::string Prefix(const ReplayHeader& header) { return "VH_" + SafeFileName(header.levelName) + "_"; }

}  // namespace

std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file) {
  const std::string prefix = Prefix(header);
  std::vector<std::string> names;
  const auto taken = [&](const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& other) { return FoldCase(name) == FoldCase(other); });
  };
  for (std::size_t i = 0; i < header.vehicles.size(); ++i) {
    const std::string driver = SafeFileName(header.vehicles[i].driver);
    std::string name = prefix;
    name.append(Fitted(prefix, driver, ".rpl")).append(".rpl");
    // Windows would open the earlier vehicle's file again: the position tells them apart, or,
    // when a driver already carries that number (A, A3, A), the next number free.
    for (std::size_t n = i + 1; taken(name); ++n) {
      const std::string tail = std::to_string(n) + ".rpl";
      name = prefix;
      name.append(Fitted(prefix, driver, tail)).append(tail);
    }
    if (NameLength(name) > kMaxNameLength) {
      throw ReplayError(file, 0, "output names of at most 255 characters",
                        "one of " + std::to_string(NameLength(name)) + " for vehicle " + std::to_string(i + 1));
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::size_t> SelectVehicles(const ReplayHeader& header,
                                        const std::vector<std::string>& names,
                                        const std::vector<std::string>& which,
                                        const std::string& file) {
  const std::size_t count = header.vehicles.size();
  const std::size_t prefix = Prefix(header).size();
  std::vector<bool> chosen(count, which.empty());
  for (const std::string& entry : which) {
    bool found = false;
    const auto position = ParseWholeNumber(entry, 1, static_cast<std::int64_t>(count));
    for (std::size_t k = 0; k < count; ++k) {
      const std::string_view output = std::string_view(names[k]).substr(prefix, names[k].size() - prefix - 4);
      const bool named = SameIgnoringAsciiCase(entry, Utf8FromCp1252(header.vehicles[k].driver)) ||
                         SameIgnoringAsciiCase(entry, Utf8FromCp1252(output));
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
      throw ReplayError(file, 0, "a vehicle position from 1 to " + std::to_string(count) + " or a driver",
                        "\"" + entry + "\"; its vehicles are " + list);
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
