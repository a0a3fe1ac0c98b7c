#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "window/flow.h"

class QCheckBox;
class QLabel;
class QStackedLayout;
class QProgressBar;
class QPushButton;

/// The program's one window: "Open" chooses replays and splits each into its own folder, with
/// a progress bar, the "Use demoRecordPtr" option and "Choose vehicles"; replays may also be
/// dropped on it.
class MainWindow : public QWidget, public vehisect::FlowWindow {
  Q_OBJECT

 public:
  /// A window whose runs read and write through `files`; it splits `replays` as soon as it is
  /// shown, with "Choose vehicles" ticked when `chooseVehicles`.
  explicit MainWindow(vehisect::FileSystem& files, std::vector<std::filesystem::path> replays = {},
                      bool chooseVehicles = false, QWidget* parent = nullptr);

  /// Whether a run is on, for tests.
  bool Running() const { return flow_.running(); }

  VEHISECT_FLOW_WINDOW_OVERRIDES

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void LayOut();
  QWidget* BarPlace(int unit);
  void OnOpenClicked();
  // Splits the replays the window was started with, once the events at hand have run.
  void SplitStartReplays();

  QPushButton* openButton_;
  QProgressBar* progressBar_;
  QLabel* waiting_;  // where the bar is, while a run waits for another
  QStackedLayout* barPlace_ = nullptr;
  QCheckBox* recordPtrBox_;
  QCheckBox* chooseVehiclesBox_;
  vehisect::WindowFlow flow_;
  std::vector<std::filesystem::path> startReplays_;
};
