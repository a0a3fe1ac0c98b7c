#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "replay/window_ops.h"

class QCheckBox;
class QProgressBar;
class QPushButton;

/// The program's one window: "Open" chooses a replay and splits it into the replay's folder,
/// with a progress bar and the "Use demoRecordPtr" option.
class Form1 : public QWidget, public vehisect::WindowOps {
  Q_OBJECT

 public:
  /// Asks the user for a replay, starting in `folder`; nothing when the user cancels.
  using Chooser = std::function<std::optional<std::filesystem::path>(QWidget* parent, const QString& folder)>;

  /// The window with the standard open-file dialog as its chooser.
  explicit Form1(QWidget* parent = nullptr);

  /// Replaces the open-file dialog, so that tests can answer it.
  void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

  void SetProgressMax(float maximum) override;
  void SetProgressValue(float value) override;
  void SetCaption(const std::string& caption) override;
  void ShowMessage(const std::string& text, const std::string& title) override;
  void CloseWindow() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Command1_Click();
  void Paint();

  QPushButton* command1_;
  QProgressBar* progressBar1_;
  QCheckBox* check1_;
  Chooser chooser_;
  std::filesystem::path replayPath_;
  bool running_ = false;
  bool closeWhenDone_ = false;
  float maximum_ = 0;
  float value_ = 0;
  QElapsedTimer sincePaint_;
};
