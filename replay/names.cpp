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
  } else if (c < 0x10000) {
    out += static_cast<Char>(0xE0 | (c >> 12));
    out += static_cast<Char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<Char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<Char>(0xF0 | (c >> 18));
    out += static_cast<Char>(0x80 | ((c >> 12) & 0x3F));
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
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    if (static_cast<unsigned char>(c) == 0xDF) {
      out += "ss";  // ß: a file system that folds fully takes "Straße" and "STRASSE" for one
    } else {
      out += static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

namespace {

// Whether `c` lies in [first, last] at an offset of `parity` from `first` modulo 2: in the
// blocks where capitals and small letters alternate.
bool Alternating(char32_t c, char32_t first, char32_t last, char32_t parity = 0) {
  return c >= first && c <= last && (c - first) % 2 == parity;
}

// Appends the full case folding of `c`: the Latin, Greek and Cyrillic letters, the letters
// that fold to more than one (ß, ẞ, the ligatures) and those that fold across blocks (K, Å,
// Ω, µ, ſ). Other scripts fold rarely in file names; the commit asks the file system itself
// before any name is taken.
void AppendFolded(std::string& out, char32_t c) {
  switch (c) {
    case 0xDF: case 0x1E9E: out += "ss"; return;
    case 0x130: out += "i\xCC\x87"; return;           // İ: i and a combining dot above
    case 0x149: out += "\xCA\xBCn"; return;           // ŉ
    case 0x17F: out += 's'; return;                   // ſ
    case 0xB5: AppendUtf8(out, 0x3BC); return;        // µ
    case 0x178: AppendUtf8(out, 0xFF); return;        // Ÿ
    case 0x3C2: AppendUtf8(out, 0x3C3); return;       // ς
    case 0x386: AppendUtf8(out, 0x3AC); return;
    case 0x38C: AppendUtf8(out, 0x3CC); return;
    case 0x2126: AppendUtf8(out, 0x3C9); return;      // Ω, the ohm sign
    case 0x212A: out += 'k'; return;                  // K, the kelvin sign
    case 0x212B: AppendUtf8(out, 0xE5); return;       // Å, the angstrom sign
    case 0xFB00: out += "ff"; return;
    case 0xFB01: out += "fi"; return;
    case 0xFB02: out += "fl"; return;
    case 0xFB03: out += "ffi"; return;
    case 0xFB04: out += "ffl"; return;
    case 0xFB05: case 0xFB06: out += "st"; return;
    default: break;
  }
  char32_t folded = c;
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    folded = c + 0x20;
  } else if (Alternating(c, 0x100, 0x12F) || Alternating(c, 0x132, 0x137) || Alternating(c, 0x14A, 0x177) ||
             Alternating(c, 0x460, 0x481) || Alternating(c, 0x48A, 0x4BF) || Alternating(c, 0x4D0, 0x52F) ||
             Alternating(c, 0x1E00, 0x1E95) || Alternating(c, 0x1EA0, 0x1EFF)) {
    folded = c + 1;
  } else if (Alternating(c, 0x139, 0x148, 1) || Alternating(c, 0x179, 0x17E, 1) || Alternating(c, 0x4C1, 0x4CE, 1)) {
    folded = c + 1;
  } else if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
    folded = c + 0x20;
  } else if (c >= 0x388 && c <= 0x38A) {
    folded = c + 37;
  } else if (c == 0x38E || c == 0x38F) {
    folded = c + 63;
  } else if (c >= 0x400 && c <= 0x40F) {
    folded = c + 0x50;
  }
  AppendUtf8(out, folded);
}

}  // namespace

std::string FoldUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    char32_t c = length == 1 ? b : length == 2 ? (b & 0x1Fu) : length == 3 ? (b & 0x0Fu) : (b & 0x07u);
    bool valid = length != 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3Fu);
    }
    if (!valid) {
      out += static_cast<char>(b);  // not UTF-8: compared as it is
      ++i;
      continue;
    }
    AppendFolded(out, c);
    i += length;
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

std::filesystem::path FolderOf(const std::filesystem::path& folder) { return folder.empty() ? "." : folder; }

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace vehisect
