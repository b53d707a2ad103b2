#pragma once

#include "platform/window_shaper.h"

namespace tuckshelf {

// Shapes through Qt alone (the widget mask and Qt's input-transparency
// flag): for platforms where Qt maps both to the window system itself.
class QtWindowShaper : public WindowShaper {
 public:
  void prepare(QWidget& window) override;
  void setBoundingShape(QWidget& window, const QRegion& shape) override;
  // Only all or nothing: Qt's input flag has no shape.
  void setInputRegion(QWidget& window, const std::optional<QRegion>& region) override;
  void flush() override {}
};

}  // namespace tuckshelf
