#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace tuckshelf {

// Paces the pointer motion Qt delivers to a window to one event a frame:
// the first move at once, then the latest of each frame's moves at its
// end. Where the window system sends every motion event (Wayland: a 1000 Hz
// mouse over the open list is a thousand a second), the widgets then do a
// frame's work, not an event's. Install it on the windows to pace.
class QtMotionPacer : public QObject {
 public:
  QtMotionPacer();
  void pace(QWindow& window) { window.installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void deliver();

  QTimer frame_;
  QPointer<QWindow> window_;  // where the latest move was held back
  QPointF local_, global_;
  Qt::MouseButtons buttons_;
  Qt::KeyboardModifiers modifiers_;
  bool held_ = false;
  bool delivering_ = false;
};

}  // namespace tuckshelf
