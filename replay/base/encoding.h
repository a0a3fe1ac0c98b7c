#pragma once

#include <string>
#include <string_view>

namespace vehisect {

/// The code point that the Windows-1252 byte `byte` stands for; the five bytes it leaves
/// undefined stand for themselves, as in Latin-1.
char32_t Cp1252CodePoint(char byte);

/// Appends the code point `c` to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

/// The Windows-1252 text of a replay as UTF-8.
std::string Utf8FromCp1252(std::string_view text);

/// Whether `byte` continues a UTF-8 character rather than starting one.
constexpr bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

#ifdef _WIN32
/// The UTF-8 text `utf8` in UTF-16, as every Windows call takes it.
std::wstring Utf16FromUtf8(std::string_view utf8);

/// The UTF-16 text `utf16` in UTF-8.
std::string Utf8FromUtf16(std::wstring_view utf16);
#endif

}  // namespace vehisect
