#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <string>
#include <string_view>

#include "replay/base/buffer.h"
#include "replay/base/error.h"

namespace vehisect {

/// Reads the lines of a replay from a stream: a line ends at CR or at CR LF, a lone LF is
/// part of the line, and a line is returned exactly as it stands, without its terminator.
class LineReader {
 public:
  /// The longest line accepted; a corrupt file must not make a run take all memory.
  static constexpr std::size_t kMaxLine = std::size_t{1} << 20;

  /// Reads from `in`; `name` is the file named in error messages.
  LineReader(std::istream& in, std::string name);

  /// The next line, valid until the next call; raises ReplayError naming `expected` when the
  /// input has ended or the line is longer than kMaxLine.
  std::string_view Read(std::string_view expected) {
    // Most lines lie wholly in the buffer with a byte to spare after their CR.
    const char* first = buffer_.data() + begin_;
    const auto* cr = static_cast<const char*>(std::memchr(first, '\r', end_ - begin_));
    const char* last = buffer_.data() + end_;
    if (cr == nullptr || cr + 1 == last || static_cast<std::size_t>(cr - first) > kMaxLine) {
      return ReadSlowly(expected);
    }
    begin_ = static_cast<std::size_t>(cr - buffer_.data()) + (cr[1] == '\n' ? 2 : 1);
    ++line_;
    return {first, static_cast<std::size_t>(cr - first)};
  }

  /// Consumes the next line when it is `text` followed by CR LF, and tells whether it was.
  bool Skip(std::string_view textCrLf) {
    if (end_ - begin_ < textCrLf.size() ||
        std::memcmp(buffer_.data() + begin_, textCrLf.data(), textCrLf.size()) != 0) {
      return false;
    }
    begin_ += textCrLf.size();
    ++line_;
    return true;
  }

  /// The bytes buffered ahead of the next line, at least `want` of them unless the input ends
  /// first; valid until the next call that reads.
  std::string_view Ahead(std::size_t want) {
    while (end_ - begin_ < want && Fill()) {
    }
    return {buffer_.data() + begin_, end_ - begin_};
  }

  /// Consumes the first `bytes` of Ahead, which hold `lines` whole lines.
  void Consume(std::size_t bytes, std::uint64_t lines) {
    begin_ += bytes;
    line_ += lines;
  }

  /// Whether every byte of the input has been read.
  bool AtEnd() { return Ahead(1).empty(); }

  /// The number of bytes consumed so far: the offset of the next line in the input.
  std::uint64_t offset() const { return dropped_ + begin_; }

  /// The 1-based number of the line last read.
  std::uint64_t line() const { return line_; }

  /// The file named in error messages.
  const std::string& name() const { return name_; }

  /// Raises ReplayError "NAME:LINE: expected EXPECTED, found FOUND" for the line last read.
  [[noreturn]] void Fail(const std::string& expected, const std::string& found,
                         ReplayError::Kind kind = ReplayError::Kind::kFault) const;

 private:
  std::string_view ReadSlowly(std::string_view expected);
  bool Fill();

  std::istream& in_;
  std::string name_;
  // Left uninitialised: only the bytes read are ever touched, so a small replay costs little.
  Buffer buffer_;
  std::size_t begin_ = 0;    // first byte of the next line
  std::size_t scanned_ = 0;  // bytes from begin_ known to hold no CR, kept across a Fill
  std::size_t end_ = 0;      // end of the bytes read so far
  std::uint64_t dropped_ = 0;  // bytes consumed and moved out of the buffer
  bool eof_ = false;
  bool lineFeeds_ = false;  // a line read whole by the slow path held LF bytes
  std::uint64_t line_ = 0;
};

}  // namespace vehisect
