#pragma once

#include <QDialog>
#include <cstddef>
#include <vector>

#include "window/sentences.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class RaceView;

/// The Qt window's "Choose vehicles" dialog: a replay's vehicles, each with a box to tick and
/// its numbers, the picture of the race beside them, "All vehicles", "Save picture...",
/// "Split" and "Cancel". Never larger than the screen's work area.
class VehicleDialog : public QDialog {
  Q_OBJECT

 public:
  /// The dialog of `choice` over `parent`, every row ticked.
  VehicleDialog(const vehisect::VehicleChoice& choice, QWidget* parent);
  /// The rows ticked, from 0.
  std::vector<std::size_t> Ticked() const;

 private:
  void FillRows(const vehisect::VehicleChoice& choice);
  void FitToScreen();
  void OnRowChanged();
  void OnAllClicked();
  void OnSavePicture();

  const vehisect::VehicleChoice& choice_;
  QTreeWidget* rows_;
  QCheckBox* all_;
  RaceView* picture_;
  QPushButton* split_ = nullptr;
};
