#include "overlay/placement.h"

#include "overlay/notch_geometry.h"

namespace tuckshelf {

Rect panelFrame(const ScreenInfo& screen, double width, double contentH) {
  const double height = topGap(screen) + contentH;
  return Rect{screen.frame.midX() - width * 0.5, screen.frame.maxY() - height, width, height};
}

TopOffsets topOffsetsFor(double gap) {
  return TopOffsets{gap + 8, (gap - 8) * 0.5, gap + 8};
}

}  // namespace tuckshelf
