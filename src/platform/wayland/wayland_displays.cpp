#include "platform/wayland/wayland_displays.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/qt_coordinates.h"
#include "platform/wayland/wayland_hover_bands.h"

namespace tuckshelf {

Point WaylandDisplays::pointerPosition() const {
  QScreen* screen = bands_.lastEnteredScreen();
  if (!screen && qGuiApp) screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  // The middle of the output's top row: inside it, wherever it lies.
  const QRect frame = screen->geometry();
  return pointToGlobalYUp(QPoint(frame.center().x(), frame.top()));
}

}  // namespace tuckshelf
