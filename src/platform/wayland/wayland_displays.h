#pragma once

#include "platform/qt/qt_displays.h"

namespace tuckshelf {

class WaylandHoverBands;

// The outputs as Qt sees them. Wayland tells a program where the pointer
// is only over its own surfaces, so the pointer counts as being on the
// output whose band it entered last, and before that on the primary one:
// the resting dot sits where the user last opened the list.
class WaylandDisplays final : public QtDisplays {
 public:
  // `bands` must outlive this object.
  explicit WaylandDisplays(const WaylandHoverBands& bands) : bands_(bands) {}
  Point pointerPosition() const override;

 private:
  const WaylandHoverBands& bands_;
};

}  // namespace tuckshelf
