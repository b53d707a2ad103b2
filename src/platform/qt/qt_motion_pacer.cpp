#include "platform/qt/qt_motion_pacer.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace tuckshelf {
namespace {

constexpr int kFrameMs = 16;

}  // namespace

QtMotionPacer::QtMotionPacer() {
  frame_.setInterval(kFrameMs);
  connect(&frame_, &QTimer::timeout, this, [this] {
    if (held_) return deliver();
    frame_.stop();  // a frame without motion: the next move goes at once
  });
}

bool QtMotionPacer::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      if (held_ && window_ == watched) deliver();  // where the pointer is pressed
      return false;
    case QEvent::Leave:
      if (window_ == watched) held_ = false;
      return false;
    case QEvent::MouseMove:
      break;
    default:
      return false;
  }
  if (delivering_) return false;
  const auto* move = static_cast<QMouseEvent*>(event);
  // A press or a release changes nothing here; a drag is no hover.
  if (move->buttons() != Qt::NoButton) return false;
  window_ = static_cast<QWindow*>(watched);
  local_ = move->position(), global_ = move->globalPosition();
  buttons_ = move->buttons(), modifiers_ = move->modifiers();
  held_ = true;
  if (!frame_.isActive()) {
    frame_.start();
    deliver();
  }
  return true;
}

void QtMotionPacer::deliver() {
  held_ = false;
  if (!window_) return;
  QMouseEvent move(QEvent::MouseMove, local_, local_, global_, Qt::NoButton, buttons_, modifiers_);
  delivering_ = true;
  QCoreApplication::sendEvent(window_, &move);
  delivering_ = false;
}

}  // namespace tuckshelf
