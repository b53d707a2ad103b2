#pragma once

#include <memory>
#include <vector>

#include "platform/pointer_events.h"

namespace tuckshelf {

// The hover bands as small override-redirect windows on Qt's own X
// connection, so that their crossings reach us in the same stream as the
// panel's. Where a compositing manager runs they are 32-bit windows with a
// clear background (GNOME's Xwayland gives InputOnly windows no pointer
// events); without one, where such a window would show black, they are
// InputOnly. They select only crossing and motion events, over their own
// few pixels.
class X11HoverBands final : public HoverBands {
 public:
  X11HoverBands();
  ~X11HoverBands() override;
  X11HoverBands(const X11HoverBands&) = delete;
  X11HoverBands& operator=(const X11HoverBands&) = delete;

  // Xwayland says nothing when the pointer leaves an X window for a native
  // one or the shell's bar; and a band over the bar's clock must leave it
  // its clicks.
  PointerLimits limits() const override;
  void setBands(const std::vector<Rect>& bands) override;
  void setPointerHandler(PointerHandler handler) override;

 private:
  class Windows;
  std::unique_ptr<Windows> windows_;
};

}  // namespace tuckshelf
