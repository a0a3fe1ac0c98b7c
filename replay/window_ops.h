#pragma once

#include <string>

namespace vehisect {

/// The five operations through which a run drives the window, or whatever front end stands in
/// for it. Texts are Windows-1252 bytes, like the replay.
class WindowOps {
 public:
  virtual ~WindowOps() = default;
  /// Sets the progress maximum: the record count.
  virtual void SetProgressMax(float maximum) = 0;
  /// Sets the progress value: the records done.
  virtual void SetProgressValue(float value) = 0;
  /// Sets the caption of the "Open" button.
  virtual void SetCaption(const std::string& caption) = 0;
  /// Shows a modal message with an information icon and OK; returns when it is dismissed.
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
  /// Closes the window, which ends the program.
  virtual void CloseWindow() = 0;
};

/// Window operations that show nothing, for runs without a window to report to.
class NullWindow : public WindowOps {
 public:
  void SetProgressMax(float) override {}
  void SetProgressValue(float) override {}
  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  void CloseWindow() override {}
};

}  // namespace vehisect
