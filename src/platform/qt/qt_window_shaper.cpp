#include "platform/qt/qt_window_shaper.h"

#include <QRegion>
#include <QWidget>
#include <QWindow>

namespace tuckshelf {
namespace {

// Somewhere no window reaches: Qt treats an empty mask as none at all.
const QRegion kNothing(-1, -1, 1, 1);

}  // namespace

void QtWindowShaper::prepare(QWidget& window) { window.winId(); }

void QtWindowShaper::setBoundingShape(QWidget& window, const QRegion& shape) {
  window.setMask(shape.isEmpty() ? kNothing : shape);
}

void QtWindowShaper::setInputRegion(QWidget& window, const std::optional<QRegion>& region) {
  window.winId();
  if (QWindow* handle = window.windowHandle())
    handle->setFlag(Qt::WindowTransparentForInput, region && region->isEmpty());
}

}  // namespace tuckshelf
