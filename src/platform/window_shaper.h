#pragma once

#include <optional>

#include <QRegion>

class QWidget;

namespace tuckshelf {

// What the panel's window needs of the window system beyond what Qt's
// widgets cover: a window that stays mapped while showing nothing, and
// click-through switched in place.
class WindowShaper {
 public:
  virtual ~WindowShaper() = default;
  // Names the window for the window system; called once its native
  // window exists, before it is first shown, and again after every show.
  virtual void prepare(QWidget& window) = 0;
  // Cuts the window to `shape` (window coordinates); empty shows nothing.
  virtual void setBoundingShape(QWidget& window, const QRegion& shape) = 0;
  // Where the window takes pointer input (window coordinates): none
  // follows the bounding shape through every resize; an empty region is
  // click-through.
  virtual void setInputRegion(QWidget& window, const std::optional<QRegion>& region) = 0;
  // Sends what is queued to the window system.
  virtual void flush() = 0;
};

}  // namespace tuckshelf
