#pragma once

#include <chrono>

namespace vehisect {

/// Lets the progress of a run through at most once every `interval`, and always its last
/// value, so that a front end draws its bar a few dozen times a second, not once per record.
class ProgressThrottle {
 public:
  /// A throttle that lets a value through every `interval` at most.
  explicit ProgressThrottle(std::chrono::milliseconds interval) : interval_(interval) {}

  /// Whether `value` of `maximum` is worth showing now. The 0 that a run ends with is not.
  bool Due(float value, float maximum) {
    if (value == 0) return false;
    // The clock is read every so many records only: it costs as much as a record's parsing.
    if (value != maximum && ++calls_ % kCallsPerLook != 0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (value != maximum && now - shown_ < interval_) return false;
    shown_ = now;
    return true;
  }

 private:
  static constexpr unsigned kCallsPerLook = 64;
  std::chrono::milliseconds interval_;
  unsigned calls_ = 0;
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace vehisect
