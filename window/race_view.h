#pragma once

#include <QWidget>
#include <cstddef>
#include <vector>

#include "replay/run/race.h"

/// The race seen from above, as the Qt window draws it: the level's objects, and each
/// vehicle's path in its colour, those ticked full and the others faint, the selected one on
/// top.
class RaceView : public QWidget {
  Q_OBJECT

 public:
  /// A view of `race`, with the vehicles' colours `colours` ("#rrggbb"), every vehicle ticked.
  RaceView(vehisect::RaceMap race, std::vector<QColor> colours, QWidget* parent);
  /// Draws the vehicles `ticked` full, and vehicle `selected` (or none, -1) on top.
  void Show(const std::vector<bool>& ticked, int selected);
  QSize sizeHint() const override { return {360, 360}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawPath(QPainter& painter, std::size_t k, bool full, bool on) const;

  vehisect::RaceMap race_;
  std::vector<QColor> colours_;
  std::vector<bool> ticked_;
  int selected_ = -1;
};
