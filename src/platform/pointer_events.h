#pragma once

#include <functional>
#include <vector>

#include "platform/geometry.h"

namespace tuckshelf {

// The pointer crossing or moving over one of the program's own input
// regions, as the window system reports it. The window system says
// nothing of the pointer elsewhere, so the program costs nothing while the
// user works in other windows.
struct PointerEvent {
  enum class Kind { entered, moved, left };
  Kind kind = Kind::moved;
  Point position;  // global; not meaningful for `left`
};
using PointerHandler = std::function<void(const PointerEvent&)>;

// The bands at the top of the displays that open the list: input regions
// of the program's own that show nothing and stay above other windows.
class HoverBands {
 public:
  virtual ~HoverBands() = default;
  // Replaces the bands (global rectangles, whole pixels or wider) and
  // raises them above other windows.
  virtual void setBands(const std::vector<Rect>& bands) = 0;
  // Receives the pointer's crossings and motion over every band.
  virtual void setPointerHandler(PointerHandler handler) = 0;
};

}  // namespace tuckshelf
