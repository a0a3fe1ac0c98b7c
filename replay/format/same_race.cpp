#include "replay/format/same_race.h"

#include <cstring>
#include <ostream>

#include "replay/format/reader.h"

namespace vehisect {
namespace {

// The line holding the record pointer in an output: "demoLevel", level, "weather", weather,
// "vehicleCount", "1", vehicle, driver, "detailLevel", level of detail, "demoRecordPtr", value.
constexpr int kPointerLine = 12;

}  // namespace

RaceComparer::RaceComparer(std::istream& existing) : existing_(existing), buffer_(std::size_t{1} << 18) {}

bool RaceComparer::Matches(const char* s, std::size_t n) {
  while (n > 0) {
    const std::size_t part = n < buffer_.size() ? n : buffer_.size();
    existing_.read(buffer_.data(), static_cast<std::streamsize>(part));
    if (static_cast<std::size_t>(existing_.gcount()) != part || std::memcmp(buffer_.data(), s, part) != 0) return false;
    s += part;
    n -= part;
  }
  return true;
}

std::streamsize RaceComparer::xsputn(const char* s, std::streamsize count) {
  std::size_t n = static_cast<std::size_t>(count);
  // Lines end where a replay's lines end, at a CR; an LF alone is part of its line.
  while (n > 0 && !differs_) {
    if (line_ > kPointerLine) {
      differs_ = !Matches(s, n);
      break;
    }
    const auto* end = static_cast<const char*>(std::memchr(s, '\r', n));
    std::size_t part = end != nullptr ? static_cast<std::size_t>(end - s) : n;
    if (line_ < kPointerLine) {
      if (end != nullptr) {
        ++part;
        ++line_;
      }
      differs_ = !Matches(s, part);
    } else if (end != nullptr) {
      // The existing file's own pointer line, which may differ, up to its CR; the line ends
      // are compared with what follows.
      std::size_t skipped = 0;
      for (int c; (c = existing_.peek()) != '\r'; existing_.get()) {
        if (c == std::char_traits<char>::eof() || ++skipped > LineReader::kMaxLine) differs_ = true;
        if (differs_) break;
      }
      ++line_;
    }
    s += part;
    n -= part;
  }
  return count;
}

RaceComparer::int_type RaceComparer::overflow(int_type c) {
  if (c != traits_type::eof()) {
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
  }
  return traits_type::not_eof(c);
}

bool RaceComparer::Same() {
  return !differs_ && line_ > kPointerLine && existing_.peek() == std::char_traits<char>::eof();
}

bool SameRace(std::istream& existing, std::istream& fresh) {
  RaceComparer comparer(existing);
  std::ostream out(&comparer);
  out << fresh.rdbuf();
  return comparer.Same();
}

}  // namespace vehisect
