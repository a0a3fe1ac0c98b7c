#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vehisect {

/// The one error a run raises; its message reads "FILE:LINE: expected ..., found ...", and
/// its parts are kept as data for the callers that act on them.
class ReplayError : public std::runtime_error {
 public:
  /// What ended the run: a fault (of which the end of the file is one kind), a fault after
  /// which some files could not be put back as they were, the user's stop, or a file of
  /// another race that was not to be replaced.
  enum class Kind { kFault, kEndOfFile, kNotRestored, kCancelled, kOtherRace };

  /// An error about `file` (none: "") at the 1-based `line` (none: 0): `expected` was
  /// expected and `found` was found.
  ReplayError(std::string file, std::uint64_t line, std::string expected, std::string found,
              Kind kind = Kind::kFault);
  /// The stop of the run over `file` at the user's request, before anything was changed.
  static ReplayError Cancelled(const std::string& file);

  /// This error tied to `file` and `line`, for an error raised where neither was known.
  ReplayError At(std::string file, std::uint64_t line) const;
  /// This error with `note` appended to its message (", in record 4 of 4", "; then ..."),
  /// and of the kind `kind`.
  ReplayError With(const std::string& note, Kind kind) const;
  /// This error with `note` appended to its message.
  ReplayError With(const std::string& note) const { return With(note, kind_); }

  const std::string& file() const { return file_; }
  std::uint64_t line() const { return line_; }
  const std::string& expected() const { return expected_; }
  const std::string& found() const { return found_; }
  Kind kind() const { return kind_; }

 private:
  ReplayError(std::string file, std::uint64_t line, std::string expected, std::string found, std::string note,
              Kind kind);
  std::string file_;
  std::uint64_t line_;
  std::string expected_;
  std::string found_;
  std::string note_;  // what follows "found ...", as it reads
  Kind kind_;
};

/// `text` in double quotes, shortened, with bytes outside printable ASCII escaped, for messages.
std::string Quoted(std::string_view text);

/// The system's text for the error code `error` (an errno value), for "found ..." parts.
std::string SystemErrorText(int error);

}  // namespace vehisect
