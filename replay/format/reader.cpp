#include "replay/format/reader.h"

#include <algorithm>
#include <cstring>

#include "replay/base/error.h"
#include "replay/base/text.h"

namespace vehisect {
namespace {

// Reads of this size keep the cost per line at a memchr, and are small enough that the bytes
// are still in the processor's cache when they are parsed.
constexpr std::size_t kChunk = std::size_t{256} << 10;
// The buffer holds two chunks, so that a chunk is read whole after the part of a line left
// over; it grows when a long line needs it, up to a longest line plus a chunk.
constexpr std::size_t kFirstSize = 2 * kChunk;
constexpr std::size_t kLargestSize = LineReader::kMaxLine + 2 + kChunk;

}  // namespace

LineReader::LineReader(std::istream& in, std::string name)
    : in_(in), name_(std::move(name)), buffer_(kFirstSize) {}

void LineReader::Fail(const std::string& expected, const std::string& found, ReplayError::Kind kind) const {
  const ReplayError error(name_, line_, expected, found, kind);
  if (!lineFeeds_) throw error;
  throw error.With("; its lines end in LF alone, while replays end them in CR LF: an editor or a file transfer "
                   "may have converted it");
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0 && buffer_.size() - end_ < kChunk) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    dropped_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < kChunk && buffer_.size() < kLargestSize) {
    Buffer grown(std::min(std::max(buffer_.size() * 2, end_ + kChunk), kLargestSize));
    std::memcpy(grown.data(), buffer_.data(), end_);
    buffer_ = std::move(grown);
  }
  in_.read(buffer_.data() + end_, static_cast<std::streamsize>(std::min(kChunk, buffer_.size() - end_)));
  const auto got = static_cast<std::size_t>(in_.gcount());
  if (in_.bad()) throw ReplayError(name_, 0, "to read the replay", "a read error");
  end_ += got;
  if (got == 0) eof_ = true;
  return got > 0;
}

std::string_view LineReader::ReadSlowly(std::string_view expected) {
  for (;;) {
    const char* data = buffer_.data();
    const std::size_t from = begin_ + scanned_;
    const void* cr = std::memchr(data + from, '\r', end_ - from);
    const std::size_t stop = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : end_;
    if (stop - begin_ > kMaxLine) {
      lineFeeds_ = std::memchr(data + begin_, '\n', stop - begin_) != nullptr;
      ++line_;
      Fail("a line of at most 1048576 bytes", "a longer one");
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
        Fail(std::string(expected), "the end of the file", ReplayError::Kind::kEndOfFile);
      }
      // The last line of a file may lack its terminator.
      const std::string_view text(buffer_.data() + begin_, end_ - begin_);
      lineFeeds_ = text.find('\n') != std::string_view::npos;
      begin_ = end_;
      scanned_ = 0;
      ++line_;
      return text;
    }
  }
}

}  // namespace vehisect
