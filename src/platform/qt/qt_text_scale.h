#pragma once

#include <QFont>

namespace tuckshelf {

// How much larger than Qt's own 9-point default the desktop sets its
// programs' text: 1 where no desktop theme speaks. The overlay's text
// grows with it; a desktop's DPI setting needs nothing of the kind, since
// Qt turns it into the device pixel ratio and scales everything.
double desktopTextScale(const QFont& applicationFont);

}  // namespace tuckshelf
