#include "overlay/notch_geometry.h"

#include <algorithm>

namespace tuckshelf {

double topGap(const ScreenInfo& screen) {
  return std::max(screen.topInset, screen.menuBarThickness);
}

std::optional<ScreenInfo> notchScreen(const Displays& displays) {
  return notchScreenAt(displays, displays.pointerPosition());
}

std::optional<ScreenInfo> notchScreenAt(const Displays& displays, Point p) {
  for (const ScreenInfo& s : displays.screens())
    if (mouseInRect(p, s.frame)) return s;
  for (const ScreenInfo& s : displays.screens())
    if (s.topInset > 0) return s;
  if (auto main = displays.primaryScreen()) return main;
  const auto screens = displays.screens();
  if (!screens.empty()) return screens.front();
  return std::nullopt;
}

bool cursorAtNotchOn(const std::optional<ScreenInfo>& screen, Point point,
                     const HoverRegionSettings& settings) {
  if (!screen) return false;
  if (!mouseInRect(point, screen->frame)) return false;
  const double midX = screen->frame.midX();
  const double maxY = screen->frame.maxY();
  const double band = topGap(*screen) + settings.slop;
  const double rightEdge = (midX + settings.halfNubWidth) + -settings.rightTrim;
  return point.y > maxY - band && point.x > midX - settings.halfNubWidth && point.x < rightEdge;
}

Rect hoverBand(const ScreenInfo& screen, const HoverRegionSettings& settings) {
  const double band = topGap(screen) + settings.slop;
  const double left = screen.frame.midX() - settings.halfNubWidth;
  const double width = 2 * settings.halfNubWidth - settings.rightTrim;
  return Rect{left, screen.frame.maxY() - band, width, band};
}

}  // namespace tuckshelf
