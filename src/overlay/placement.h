#pragma once

#include "overlay/overlay_window.h"
#include "platform/displays.h"

namespace tuckshelf {

// The panel's frame for content `contentH` tall below the top gap, hanging
// from the top edge of `screen`, centred on it. Not rounded.
Rect panelFrame(const ScreenInfo& screen, double width, double contentH);

// The content starts 8 below the top band; the 8-point dot is centred in it.
TopOffsets topOffsetsFor(double gap);

}  // namespace tuckshelf
