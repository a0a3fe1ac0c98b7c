#pragma once

#include <windows.h>

#include <vector>

#include "replay/run/race.h"

/// Draws `race` seen from above into `area` of `dc`, as the Win32 window shows it: the level's
/// objects, and each vehicle's path in its colour (`colours`, "#rrggbb"), those `ticked` full
/// and the others faint, vehicle `selected` (or none, -1) on top.
void DrawRaceView(HDC dc, const RECT& area, const vehisect::RaceMap& race, const std::vector<COLORREF>& colours,
                  const std::vector<bool>& ticked, int selected);

/// The colour "#rrggbb" for GDI.
COLORREF ColourOf(const char* hex);
