#pragma once

#include <cstdio>
#include <string>

namespace vehisect {

/// Makes the standard output and error streams take UTF-8 text: on a Windows console they
/// write it as UTF-16, so that every name shows right whatever the console's code page; to a
/// pipe or a file the bytes go as they are.
void SetUpTerminal();

/// Whether `stream` (stdout or stderr) is a terminal or console.
bool IsTerminal(std::FILE* stream);

/// The width of UTF-8 text in a terminal's columns, one per character.
std::size_t Columns(const std::string& utf8);

/// The text that takes the cursor back to the start of a line and blanks `width` columns of
/// it, then takes it back again.
std::string ClearLine(std::size_t width);

}  // namespace vehisect
