#pragma once

#include "platform/qt/qt_window_shaper.h"
#include "platform/x11/x11_keyboard_hold.h"
#include "platform/window_shaper.h"

namespace tuckshelf {

// The panel's shapes straight through the X Shape extension on Qt's own
// connection: an empty bounding shape (a window that shows nothing but
// stays mapped) and an input shape that follows the bounding one through
// resizes, neither of which Qt's mask gives. Without the extension, Qt's
// own mask and input flag stand in.
class X11WindowShaper : public WindowShaper {
 public:
  // Also sets WM_CLASS, both parts "tuckshelf" whatever the executable is
  // called, and paces the window's pointer motion to the frame rate.
  void prepare(QWidget& window) override;
  void setBoundingShape(QWidget& window, const QRegion& shape) override;
  void setInputRegion(QWidget& window, const std::optional<QRegion>& region) override;
  // Under Xwayland a window that takes no input and shrinks is made anew:
  // Mutter 43 goes on giving it the clicks of the larger rectangle it had,
  // whatever its input shape says.
  bool needsNewWindow(const QWidget& window, const QRect& geometry) const override;
  // Mutter under Xwayland goes by the window's rectangle alone, and keeps
  // the clicks there from its own top bar.
  bool picksWholeWindow() const override { return paintsItsShape_; }
  // Under Debian's glib event loop Qt can leave requests unsent until
  // other traffic comes along.
  void flush() override;
  // The focus and a grab: the window manager never focuses the panel.
  // Losing the focus reaches the window through Qt.
  void takeKeyboard(QWidget& window, std::function<void()> lost) override;
  void releaseKeyboard(QWidget& window) override;

 private:
  X11KeyboardHold keyboard_;
  QtWindowShaper fallback_;
  bool paintsItsShape_ = false;  // no bounding shape: under Xwayland
  QRegion shape_;                // the shape painted then
  std::optional<QRegion> input_;
};

}  // namespace tuckshelf
