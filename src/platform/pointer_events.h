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

// What the window system leaves the program to do about the pointer.
struct PointerLimits {
  // It may not report the pointer leaving the program's windows for others
  // (Xwayland, for native windows and a shell's own bar): while the list is
  // open, a region under it that covers its display must see the pointer go.
  bool leavesUnreported = false;
  // Only this many rows of a band at the top edge take input, so that what
  // lies beneath the rest (a shell's top bar, its clock) keeps its clicks;
  // 0: the whole band.
  double bandRows = 0;
};

// The bands at the top of the displays that open the list: input regions
// of the program's own that show nothing and stay above other windows.
class HoverBands {
 public:
  virtual ~HoverBands() = default;
  virtual PointerLimits limits() const { return {}; }
  // Replaces the bands (global rectangles, whole pixels or wider) and
  // raises them above other windows.
  virtual void setBands(const std::vector<Rect>& bands) = 0;
  // Receives the pointer's crossings and motion over every band.
  virtual void setPointerHandler(PointerHandler handler) = 0;
};

}  // namespace tuckshelf
