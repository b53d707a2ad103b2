#pragma once

#include <optional>

#include "platform/displays.h"

namespace tuckshelf {

// The height of the strip at a display's top that the menu bar and the
// camera housing take.
double topGap(const ScreenInfo& screen);

// The display the overlay belongs to now: the one under the pointer, else
// the first with a camera housing, else the main one, else the first.
std::optional<ScreenInfo> notchScreen(const Displays& displays);
// The same, for a pointer position the caller has just read.
std::optional<ScreenInfo> notchScreenAt(const Displays& displays, Point pointer);

struct HoverRegionSettings {
  double halfNubWidth = 125;
  double rightTrim = 34;
  double slop = 3;
};

// Whether `point` lies in the band at the top centre of the overlay's
// display: 125 left of its centre line to 91 right of it, all edges
// excluded but the display's top row.
bool cursorAtNotch(const Displays& displays, Point point, const HoverRegionSettings& settings);
// The same test against an already chosen display.
bool cursorAtNotchOn(const std::optional<ScreenInfo>& screen, Point point,
                     const HoverRegionSettings& settings);

}  // namespace tuckshelf
