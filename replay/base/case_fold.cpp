#include "replay/base/case_fold.h"

#include "replay/base/encoding.h"

namespace vehisect {
namespace {

// Whether `c` is a capital in [first, last], a block where capitals and small letters
// alternate from the capital `first` on.
bool Alternating(char32_t c, char32_t first, char32_t last) {
  return c >= first && c <= last && (c - first) % 2 == 0;
}

// Appends the folding of `c` where it is a letter that folds to more than one (ß, ẞ, the
// ligatures) or across blocks (K, Å, Ω, µ, ſ): whether it was one.
bool AppendSpecial(std::string& out, char32_t c) {
  switch (c) {
    case 0xDF: case 0x1E9E: out += "ss"; return true;
    case 0x130: out += "i\xCC\x87"; return true;           // İ: i and a combining dot above
    case 0x149: out += "\xCA\xBCn"; return true;           // ŉ
    case 0x17F: out += 's'; return true;                   // ſ
    case 0xB5: AppendUtf8(out, 0x3BC); return true;        // µ
    case 0x178: AppendUtf8(out, 0xFF); return true;        // Ÿ
    case 0x3C2: AppendUtf8(out, 0x3C3); return true;       // ς
    case 0x386: AppendUtf8(out, 0x3AC); return true;
    case 0x38C: AppendUtf8(out, 0x3CC); return true;
    case 0x2126: AppendUtf8(out, 0x3C9); return true;      // Ω, the ohm sign
    case 0x212A: out += 'k'; return true;                  // K, the kelvin sign
    case 0x212B: AppendUtf8(out, 0xE5); return true;       // Å, the angstrom sign
    case 0xFB00: out += "ff"; return true;
    case 0xFB01: out += "fi"; return true;
    case 0xFB02: out += "fl"; return true;
    case 0xFB03: out += "ffi"; return true;
    case 0xFB04: out += "ffl"; return true;
    case 0xFB05: case 0xFB06: out += "st"; return true;
    default: return false;
  }
}

// The simple case folding of the Latin, Greek and Cyrillic letters `c`; `c` itself otherwise.
char32_t Folded(char32_t c) {
  char32_t folded = c;
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    folded = c + 0x20;
  } else if (Alternating(c, 0x100, 0x12F) || Alternating(c, 0x132, 0x137) || Alternating(c, 0x14A, 0x177) ||
             Alternating(c, 0x460, 0x481) || Alternating(c, 0x48A, 0x4BF) || Alternating(c, 0x4D0, 0x52F) ||
             Alternating(c, 0x1E00, 0x1E95) || Alternating(c, 0x1EA0, 0x1EFF) || Alternating(c, 0x139, 0x148) ||
             Alternating(c, 0x179, 0x17E) || Alternating(c, 0x4C1, 0x4CE)) {
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
  return folded;
}

// Appends the full case folding of `c`. Other scripts than those above fold rarely in file
// names; the commit asks the file system itself before any name is taken.
void AppendFolded(std::string& out, char32_t c) {
  if (!AppendSpecial(out, c)) AppendUtf8(out, Folded(c));
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

}  // namespace vehisect
