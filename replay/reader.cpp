#include "replay/reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "replay/error.h"
#include "replay/text.h"

namespace vehisect {
namespace {

// Reads of this size keep the cost per line at a memchr, and are small enough that the bytes
// are still in the processor's cache when they are parsed.
constexpr std::size_t kChunk = std::size_t{256} << 10;
// The buffer starts small, for small replays, and grows when a long line needs it, up to a
// longest line plus a chunk.
constexpr std::size_t kFirstSize = std::size_t{64} << 10;
constexpr std::size_t kLargestSize = LineReader::kMaxLine + 2 + kChunk;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view s, std::size_t i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

std::string_view TrimTrailingSpaces(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

LineReader::LineReader(std::istream& in, std::string name)
    : in_(in), name_(std::move(name)), buffer_(new char[kFirstSize]), size_(kFirstSize) {}

void LineReader::Fail(const std::string& what) const {
  if (!lineFeeds_) throw ReplayError(name_, line_, what);
  throw ReplayError(name_, line_, std::string(what).append("; its lines end in LF alone, while replays end "
                                                          "them in CR LF: an editor or a file transfer may have "
                                                          "converted it"));
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0 && size_ - end_ < kChunk) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    dropped_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  if (size_ - end_ < kChunk && size_ < kLargestSize) {
    const std::size_t size = std::min(std::max(size_ * 2, end_ + kChunk), kLargestSize);
    std::unique_ptr<char[]> grown(new char[size]);
    std::memcpy(grown.get(), buffer_.get(), end_);
    buffer_ = std::move(grown);
    size_ = size;
  }
  in_.read(buffer_.get() + end_, static_cast<std::streamsize>(std::min(kChunk, size_ - end_)));
  const auto got = static_cast<std::size_t>(in_.gcount());
  if (in_.bad()) throw ReplayError(name_, "expected to read the replay, found a read error");
  end_ += got;
  if (got == 0) eof_ = true;
  return got > 0;
}

std::string_view LineReader::ReadSlowly(std::string_view expected) {
  for (;;) {
    const char* data = buffer_.get();
    const std::size_t from = begin_ + scanned_;
    const void* cr = std::memchr(data + from, '\r', end_ - from);
    const std::size_t stop = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : end_;
    if (stop - begin_ > kMaxLine) {
      lineFeeds_ = std::memchr(data + begin_, '\n', stop - begin_) != nullptr;
      ++line_;
      Fail("expected a line of at most 1048576 bytes, found a longer one");
    }
    // A CR as the last byte read may be the first half of CR LF: read on before deciding.
    if (cr && (stop + 1 < end_ || eof_)) {
      const std::string_view text(data + begin_, stop - begin_);
      begin_ = stop + 1;
      if (begin_ < end_ && data[begin_] == '\n') ++begin_;
      scanned_ = 0;
      ++line_;
      return text;
    }
    scanned_ = stop - begin_;
    if (!Fill()) {
      if (cr) continue;  // the CR was the last byte of the file
      if (begin_ == end_) {
        ++line_;
        Fail("expected " + std::string(expected) + ", found the end of the file");
      }
      // The last line of a file may lack its terminator.
      const std::string_view text(buffer_.get() + begin_, end_ - begin_);
      lineFeeds_ = text.find('\n') != std::string_view::npos;
      begin_ = end_;
      scanned_ = 0;
      ++line_;
      return text;
    }
  }
}

std::size_t SplitItems(std::string_view line, std::string_view* items, std::size_t max) {
  std::size_t count = 0;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string_view item;
    if (i < line.size() && line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      const std::size_t stop = close == std::string_view::npos ? line.size() : close;
      item = line.substr(i + 1, stop - i - 1);
      i = line.find(',', stop);
    } else {
      const std::size_t comma = line.find(',', i);
      item = TrimTrailingSpaces(line.substr(i, comma == std::string_view::npos ? line.size() - i : comma - i));
      i = comma;
    }
    if (count < max) items[count] = item;
    ++count;
    if (i == std::string_view::npos) return count;
    ++i;
  }
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimSpaces(text);
  if (text.empty()) return std::nullopt;
  // Validate the grammar here: from_chars alone would accept "inf", "nan" and hex digits.
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  const std::size_t intStart = i;
  i = SkipDigits(text, i);
  bool digits = i > intStart;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fracStart = ++i;
    i = SkipDigits(text, i);
    digits = digits || i > fracStart;
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t expStart = j;
    j = SkipDigits(text, j);
    if (j == expStart) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  const std::size_t skip = text[0] == '+' ? 1 : 0;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data() + skip, text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ParseWholeNumber(std::string_view text, std::int64_t min,
                                             std::int64_t max) {
  const std::optional<double> value = ParseNumber(text);
  if (!value || std::floor(*value) != *value) return std::nullopt;
  if (*value < static_cast<double>(min) || *value > static_cast<double>(max)) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::ifstream OpenReplay(const std::filesystem::path& path, const std::string& shown) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw ReplayError(shown, "expected a replay file, found no such file");
  if (std::filesystem::is_directory(status)) throw ReplayError(shown, "expected a replay file, found that it is a folder, not a replay");
  // A pipe or device could block the window forever, or never end.
  if (!std::filesystem::is_regular_file(status)) {
    throw ReplayError(shown, "expected a replay file, found a special file");
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ReplayError(shown, "expected to open the replay, found " + SystemErrorText(errno));
  return in;
}

}  // namespace vehisect
