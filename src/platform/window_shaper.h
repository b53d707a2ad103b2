#pragma once

#include <functional>
#include <optional>

#include <QRect>
#include <QRegion>
#include <QWidget>

namespace tuckshelf {

// What the panel's window needs of the window system beyond what Qt's
// widgets cover: a window that stays mapped while showing nothing, and
// click-through switched in place.
class WindowShaper {
 public:
  virtual ~WindowShaper() = default;
  // Makes the window the window system's kind of panel and names it;
  // called before its native window exists, and again after every show.
  virtual void prepare(QWidget& window) = 0;
  // Cuts the window to `shape` (window coordinates); empty shows nothing.
  virtual void setBoundingShape(QWidget& window, const QRegion& shape) = 0;
  // Where the window takes pointer input (window coordinates): none
  // follows the bounding shape through every resize; an empty region is
  // click-through.
  virtual void setInputRegion(QWidget& window, const std::optional<QRegion>& region) = 0;
  // Puts the window's content at `geometry` (global pixels) and returns
  // where the content lies in the window, which may be larger than it.
  virtual QRect place(QWidget& window, const QRect& geometry) {
    window.setGeometry(geometry);
    return QRect(QPoint(), geometry.size());
  }
  // Whether the window cannot go to `geometry` and a new one must be made
  // there instead (on Wayland a panel belongs to one output).
  virtual bool needsNewWindow(const QWidget&, const QRect&) const { return false; }
  // Whether the window system hands the window every click in its
  // rectangle, whatever its input region says: then a click-through window
  // is cut down to what it shows.
  virtual bool picksWholeWindow() const { return false; }
  // Lets go of what the shaper made for the window; called before the
  // window goes (on Wayland a layer surface must go before the surface
  // it gives its role to).
  virtual void release(QWidget&) {}
  // Sends what is queued to the window system.
  virtual void flush() = 0;
  // Gives the window the keyboard, even though it never takes the focus
  // by itself, until `releaseKeyboard`; `lost` runs should the window
  // system give the keyboard to another window meanwhile.
  virtual void takeKeyboard(QWidget& window, std::function<void()> lost) {
    (void)lost;
    window.grabKeyboard();
  }
  // Gives the keyboard back to the window that had it before.
  virtual void releaseKeyboard(QWidget& window) { window.releaseKeyboard(); }
};

}  // namespace tuckshelf
