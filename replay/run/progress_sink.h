#pragma once

namespace vehisect {

/// The window operations a run calls: its progress. How a run ends, the front end reports.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  /// Sets the progress maximum: the record count.
  virtual void SetProgressMax(float maximum) = 0;
  /// Sets the progress value: the records done.
  virtual void SetProgressValue(float value) = 0;
};

/// Window operations that show nothing, for runs without a window to report to.
class NullProgress : public ProgressSink {
 public:
  void SetProgressMax(float) override {}
  void SetProgressValue(float) override {}
};

}  // namespace vehisect
