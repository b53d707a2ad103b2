#pragma once

#include "platform/window_shaper.h"

namespace tuckshelf {

// Shapes through Qt alone (the widget mask and Qt's input-transparency
// flag): for platforms where Qt maps both to the window system itself.
class QtWindowShaper : public WindowShaper {
 public:
  void prepare(QWidget& window) override;
  void setBoundingShape(QWidget& window, const QRegion& shape) override;
  void setClickThrough(QWidget& window, bool on) override;
  void flush() override {}
};

}  // namespace tuckshelf
