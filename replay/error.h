#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vehisect {

/// The one error a run raises; its message reads "FILE:LINE: what was expected, what was found".
class ReplayError : public std::runtime_error {
 public:
  /// An error not yet tied to a file; the caller that knows the file rethrows it with one.
  explicit ReplayError(const std::string& what);
  /// An error about `file` as a whole, with no line to point at.
  ReplayError(const std::string& file, const std::string& what);
  /// An error at the 1-based `line` of `file`.
  ReplayError(const std::string& file, std::uint64_t line, const std::string& what);
};

/// `text` in double quotes, shortened, with bytes outside printable ASCII escaped, for messages.
std::string Quoted(std::string_view text);

/// The system's text for the error code `error` (an errno value), for "found ..." parts.
std::string SystemErrorText(int error);

}  // namespace vehisect
