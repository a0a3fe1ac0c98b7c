#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vehisect {

/// The one error a run raises; its message reads "FILE:LINE: what was expected, what was found".
class ReplayError : public std::runtime_error {
 public:
  /// What ended the run: a fault that changed no file, one after which some files could not
  /// be put back as they were, the user's stop, or a file of another race that was not to be
  /// replaced.
  enum class Kind { kFault, kNotRestored, kCancelled, kOtherRace };

  /// An error not yet tied to a file; the caller that knows the file rethrows it with one.
  explicit ReplayError(const std::string& what, Kind kind = Kind::kFault);
  /// An error about `file` as a whole, with no line to point at.
  ReplayError(const std::string& file, const std::string& what, Kind kind = Kind::kFault);
  /// An error at the 1-based `line` of `file`.
  ReplayError(const std::string& file, std::uint64_t line, const std::string& what);
  /// The stop of the run over `file` at the user's request, before anything was changed.
  static ReplayError Cancelled(const std::string& file);

  /// What ended the run.
  Kind kind() const { return kind_; }

 private:
  Kind kind_ = Kind::kFault;
};

/// `text` in double quotes, shortened, with bytes outside printable ASCII escaped, for messages.
std::string Quoted(std::string_view text);

/// The system's text for the error code `error` (an errno value), for "found ..." parts.
std::string SystemErrorText(int error);

}  // namespace vehisect
