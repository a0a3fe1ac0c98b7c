#pragma once

#include <atomic>
#include <string>

#include "replay/base/error.h"

namespace vehisect {

/// A request to stop a run, made from any thread or from a signal handler. A run honours it
/// until its commit begins; from then on it runs to its end or its rollback.
class CancelToken {
 public:
  // A signal handler may only touch a lock-free atomic.
  static_assert(std::atomic<bool>::is_always_lock_free);

  /// Asks every run that holds this token to stop.
  void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  /// Withdraws the request, for a token that serves one run after another; between runs only.
  void Reset() noexcept { requested_.store(false, std::memory_order_relaxed); }
  /// Whether a stop has been asked for.
  bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
  /// Raises the cancelled ReplayError about `file` when a stop has been asked for.
  void ThrowIfRequested(const std::string& file) const {
    if (requested()) throw ReplayError::Cancelled(file);
  }

 private:
  std::atomic<bool> requested_{false};
};

}  // namespace vehisect
