#include "window/race_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

RaceView::RaceView(vehisect::RaceMap race, std::vector<QColor> colours, QWidget* parent)
    : QWidget(parent), race_(std::move(race)), colours_(std::move(colours)), ticked_(race_.vehicles.size(), true) {
  setObjectName("RacePicture");
  setMinimumSize(240, 240);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void RaceView::Show(const std::vector<bool>& ticked, int selected) {
  ticked_ = ticked;
  selected_ = selected;
  update();
}

void RaceView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), QColor("#f7f7f2"));
  // The level square, as large as the view allows, x to the right and z up.
  const double width = race_.maxX - race_.minX, height = race_.maxZ - race_.minZ;
  const double scale = std::min((this->width() - 16) / width, (this->height() - 16) / height);
  painter.translate((this->width() - width * scale) / 2, (this->height() + height * scale) / 2);
  painter.scale(scale, -scale);
  painter.translate(-race_.minX, -race_.minZ);
  painter.setPen(QPen(QColor("#cccccc"), 0));
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(0, 0, 8192, 8192));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor("#9a9a9a"));
  for (const vehisect::GroundPoint& p : race_.objects) painter.drawRect(QRectF(p.x - 30, p.z - 30, 60, 60));
  for (std::size_t k = 0; k < race_.vehicles.size(); ++k) {
    if (static_cast<int>(k) != selected_) DrawPath(painter, k, ticked_[k], false);
  }
  if (selected_ >= 0 && static_cast<std::size_t>(selected_) < race_.vehicles.size()) {
    DrawPath(painter, static_cast<std::size_t>(selected_), ticked_[static_cast<std::size_t>(selected_)], true);
  }
}

void RaceView::DrawPath(QPainter& painter, std::size_t k, bool full, bool on) const {
  const std::vector<vehisect::GroundPoint>& path = race_.vehicles[k].path;
  if (path.empty()) return;
  QColor colour = colours_[k];
  colour.setAlpha(full ? 255 : 60);
  QPainterPath line;
  for (const vehisect::GroundPoint& p : path) {
    if (p.starts) line.moveTo(p.x, p.z);
    else line.lineTo(p.x, p.z);
  }
  // In pixels whatever the scale: cosmetic pens.
  QPen pen(colour, on ? 4 : 2);
  pen.setCosmetic(true);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(line);
  const double unit = 6 / painter.transform().m11();  // 6 px in feet
  painter.setPen(QPen(Qt::white, 0));
  painter.setBrush(colour);
  painter.drawEllipse(QPointF(path.front().x, path.front().z), unit, unit);
  QPen end(colour, 2);
  end.setCosmetic(true);
  painter.setPen(end);
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(path.back().x - unit, path.back().z - unit, 2 * unit, 2 * unit));
}
