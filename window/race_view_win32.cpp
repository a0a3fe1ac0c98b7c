#include "window/race_view_win32.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <type_traits>

#include "window/win32.h"

namespace {

// Owns a GDI object, and selects it into a device context while it lives.
class Tool {
 public:
  Tool(HDC dc, HGDIOBJ object) : object_(object), selected_(dc, object) {}

 private:
  // In this order, so that the object is put back out of the context before it is deleted.
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter> object_;
  Selected selected_;
};

// `colour` three parts in four of the way to white: a vehicle not ticked.
COLORREF Faint(COLORREF colour) {
  const auto fade = [](int part) { return static_cast<BYTE>(part + (255 - part) * 3 / 4); };
  return RGB(fade(GetRValue(colour)), fade(GetGValue(colour)), fade(GetBValue(colour)));
}

// Level feet to the pixels of `area`, x to the right and z up.
struct Scale {
  double left, bottom, factor;
  POINT At(const vehisect::GroundPoint& p, const vehisect::RaceMap& race) const {
    return {static_cast<LONG>(left + (p.x - race.minX) * factor), static_cast<LONG>(bottom - (p.z - race.minZ) * factor)};
  }
};

void DrawPath(HDC dc, const Scale& scale, const vehisect::RaceMap& race, std::size_t k, COLORREF colour, int width) {
  const std::vector<vehisect::GroundPoint>& path = race.vehicles[k].path;
  if (path.empty()) return;
  const Tool pen(dc, CreatePen(PS_SOLID, width, colour));
  std::vector<POINT> stretch;
  const auto flush = [&] {
    if (stretch.size() > 1) Polyline(dc, stretch.data(), static_cast<int>(stretch.size()));
    stretch.clear();
  };
  for (const vehisect::GroundPoint& p : path) {
    if (p.starts) flush();
    stretch.push_back(scale.At(p, race));
  }
  flush();
  const POINT first = scale.At(path.front(), race), last = scale.At(path.back(), race);
  {
    const Tool brush(dc, CreateSolidBrush(colour));
    Ellipse(dc, first.x - 5, first.y - 5, first.x + 6, first.y + 6);
  }
  const Tool white(dc, CreateSolidBrush(RGB(255, 255, 255)));
  Rectangle(dc, last.x - 5, last.y - 5, last.x + 6, last.y + 6);
}

}  // namespace

COLORREF ColourOf(const char* hex) {
  const unsigned long value = std::strtoul(hex + 1, nullptr, 16);
  return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

void DrawRaceView(HDC dc, const RECT& area, const vehisect::RaceMap& race, const std::vector<COLORREF>& colours,
                  const std::vector<bool>& ticked, int selected) {
  const HBRUSH background = CreateSolidBrush(RGB(0xf7, 0xf7, 0xf2));
  FillRect(dc, &area, background);
  DeleteObject(background);
  const double width = race.maxX - race.minX, height = race.maxZ - race.minZ;
  const double room = std::min<double>(area.right - area.left - 8, area.bottom - area.top - 8);
  const double factor = room / std::max(width, height);
  const Scale scale{area.left + (area.right - area.left - width * factor) / 2,
                    area.bottom - (area.bottom - area.top - height * factor) / 2, factor};
  {
    const Tool pen(dc, CreatePen(PS_SOLID, 1, RGB(0xcc, 0xcc, 0xcc)));
    const Tool brush(dc, CreateSolidBrush(RGB(255, 255, 255)));
    const POINT low = scale.At({0, 0, false}, race), high = scale.At({8192, 8192, false}, race);
    Rectangle(dc, low.x, high.y, high.x, low.y);
  }
  {
    const Tool brush(dc, CreateSolidBrush(RGB(0x9a, 0x9a, 0x9a)));
    const Tool pen(dc, CreatePen(PS_NULL, 0, 0));
    for (const vehisect::GroundPoint& p : race.objects) {
      const POINT at = scale.At(p, race);
      Rectangle(dc, at.x - 2, at.y - 2, at.x + 3, at.y + 3);
    }
  }
  for (std::size_t k = 0; k < race.vehicles.size(); ++k) {
    if (static_cast<int>(k) != selected) DrawPath(dc, scale, race, k, ticked[k] ? colours[k] : Faint(colours[k]), 2);
  }
  if (selected >= 0 && static_cast<std::size_t>(selected) < race.vehicles.size()) {
    const auto k = static_cast<std::size_t>(selected);
    DrawPath(dc, scale, race, k, ticked[k] ? colours[k] : Faint(colours[k]), 4);
  }
}
