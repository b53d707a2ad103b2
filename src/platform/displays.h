#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/geometry.h"

namespace tuckshelf {

struct ScreenInfo {
  Rect frame;                     // global, y-up
  double topInset = 0;            // a cut-out at the top edge; none on these displays
  double menuBarThickness = 24;   // height the desktop reserves at the top
  friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// The display configuration and the pointer. Nothing is cached: every
// call asks the window system again.
class Displays {
 public:
  virtual ~Displays() = default;
  // Attached displays, the primary first; possibly empty.
  virtual std::vector<ScreenInfo> screens() const = 0;
  // The primary display, if there is one.
  virtual std::optional<ScreenInfo> primaryScreen() const = 0;
  virtual Point pointerPosition() const = 0;
  // Called after displays are attached, removed, rearranged or resized.
  virtual void observeScreenChanges(std::function<void()> handler) = 0;
};

}  // namespace tuckshelf
