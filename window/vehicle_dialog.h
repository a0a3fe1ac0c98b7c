#pragma once

#include <QDialog>
#include <cstddef>
#include <vector>

#include "window/sentences.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;

/// The Qt window's "Choose vehicles" dialog: a replay's vehicles, each with a box to tick,
/// "All vehicles", "Split" and "Cancel".
class VehicleDialog : public QDialog {
  Q_OBJECT

 public:
  /// The dialog of `choice` over `parent`, every row ticked.
  VehicleDialog(const vehisect::VehicleChoice& choice, QWidget* parent);
  /// The rows ticked, from 0.
  std::vector<std::size_t> Ticked() const;

 private:
  void FillRows(const vehisect::VehicleChoice& choice);
  void OnRowChanged();
  void OnAllClicked();

  QTreeWidget* rows_;
  QCheckBox* all_;
  QPushButton* split_ = nullptr;
};
