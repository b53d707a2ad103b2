#pragma once

#include <optional>

#include "platform/displays.h"

namespace tuckshelf {

// The height of the strip at a display's top that the desktop's panels
// (or a cut-out of the display) take.
double topGap(const ScreenInfo& screen);

// The display the overlay belongs to now: the one under the pointer, else
// the first with a cut-out at the top, else the primary one, else the first.
std::optional<ScreenInfo> notchScreen(const Displays& displays);
// The same, for a pointer position the caller has just read.
std::optional<ScreenInfo> notchScreenAt(const Displays& displays, Point pointer);

struct HoverRegionSettings {
  double halfNubWidth = 125;
  double rightTrim = 34;
  double slop = 3;
};

// Whether `point` lies in the band at the top centre of `screen`: 125 left
// of its centre line to 91 right of it, from the top row down to the top
// gap plus the slop, all edges excluded but the display's top row.
bool cursorAtNotchOn(const std::optional<ScreenInfo>& screen, Point point,
                     const HoverRegionSettings& settings);

// The smallest rectangle holding every point of that band: where the
// window system must report the pointer for the rule above to see it.
Rect hoverBand(const ScreenInfo& screen, const HoverRegionSettings& settings);

}  // namespace tuckshelf
