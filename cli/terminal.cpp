#include "cli/terminal.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "replay/base/encoding.h"

namespace vehisect {
namespace {

#ifdef _WIN32
// Writes UTF-8 to a console as UTF-16, a whole character at a time.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~ConsoleBuffer() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (c != traits_type::eof()) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    std::size_t length = static_cast<std::size_t>(pptr() - pbase());
    // A character cut at the end of the buffer waits for its other bytes.
    std::size_t whole = length;
    for (std::size_t back = 1; back <= 3 && back <= length; ++back) {
      const auto byte = static_cast<unsigned char>(buffer_[length - back]);
      if (IsUtf8Continuation(static_cast<char>(byte))) continue;
      const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      if (needed > back) whole = length - back;
      break;
    }
    if (whole > 0) {
      const std::wstring wide = Utf16FromUtf8(std::string_view(buffer_, whole));
      DWORD written = 0;
      if (!WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return -1;
    }
    std::memmove(buffer_, buffer_ + whole, length - whole);
    setp(buffer_, buffer_ + sizeof buffer_);
    pbump(static_cast<int>(length - whole));
    return 0;
  }

 private:
  HANDLE console_;
  char buffer_[4096];
};

// Writes `stream` to the console behind `handle`, if it is one.
bool TakeConsole(HANDLE handle, std::ostream& stream) {
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
  static ConsoleBuffer* buffers[2] = {};
  ConsoleBuffer*& buffer = buffers[&stream == &std::cout ? 0 : 1];
  buffer = new ConsoleBuffer(handle);  // lives as long as the program
  stream.rdbuf(buffer);
  return true;
}
#endif

}  // namespace

void SetUpTerminal() {
#ifdef _WIN32
  // Into a file or a pipe, the C runtime would ask the system whether stdout is a console
  // at every character; buffered, at every 64 KiB.
  if (!TakeConsole(GetStdHandle(STD_OUTPUT_HANDLE), std::cout)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  TakeConsole(GetStdHandle(STD_ERROR_HANDLE), std::cerr);
#endif
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::string ClearLine(std::size_t width) {
  // Blanks, not an escape sequence: some consoles that take the mode for one (Wine's, older
  // Windows 10 ones) print it as it stands.
  std::string blanks(width + 2, ' ');
  blanks.front() = blanks.back() = '\r';
  return blanks;
}

std::size_t Columns(const std::string& utf8) {
  std::size_t columns = 0;
  for (const char c : utf8) columns += !IsUtf8Continuation(c);
  return columns;
}

}  // namespace vehisect
