#include "platform/qt/qt_text_scale.h"

#include <algorithm>
#include <cmath>

namespace tuckshelf {
namespace {

// Qt's font where the desktop gives none, at which the overlay's sizes hold
// as they are; 9 points are 12 pixels at the standard 96 DPI.
constexpr double kStandardPoints = 9;
constexpr double kStandardPixels = 12;
// A broken or extreme setting leaves the list readable and on the screen.
constexpr double kLeast = 0.75, kMost = 4;

}  // namespace

double desktopTextScale(const QFont& applicationFont) {
  double scale = 1;
  if (applicationFont.pointSizeF() > 0) {
    scale = applicationFont.pointSizeF() / kStandardPoints;
  } else if (applicationFont.pixelSize() > 0) {
    scale = applicationFont.pixelSize() / kStandardPixels;
  }
  return std::isfinite(scale) ? std::clamp(scale, kLeast, kMost) : 1.0;
}

}  // namespace tuckshelf
