#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "replay/base/cancel.h"
#include "replay/run/progress_sink.h"

namespace vehisect::cli {

/// Sends what was printed to standard output on its way, keeping its first error.
void FlushOutput();

/// The first error in writing to standard output (an errno value), or 0.
int OutputError();

/// Stands in for the window: a progress bar on a terminal, nothing otherwise.
class Console : public ProgressSink {
 public:
  /// A console that draws its bar on stderr when `showProgress`.
  explicit Console(bool showProgress) : show_(showProgress) {}
  ~Console() override { Clear(); }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  /// Starts the bar of the replay `label`.
  void Start(std::string label);
  /// Clears the bar's line, for what is printed next.
  void Clear();
  void SetProgressMax(float maximum) override { maximum_ = maximum; }
  void SetProgressValue(float value) override;

 private:
  bool show_;
  std::string label_;
  float maximum_ = 0;
  std::size_t drawnColumns_ = 0;  // the widest line drawn
};

/// Turns Ctrl-C and the other requests to end the program (SIGTERM, SIGHUP, SIGQUIT, SIGPIPE;
/// on Windows Ctrl-Break and the console's close) into a stop of the run, while it lives.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  /// The stop the signals ask for.
  const CancelToken& stop() const;
};

}  // namespace vehisect::cli
