#include "platform/x11/x11_window_shaper.h"

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_motion_pacer.h"

#include <vector>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>
#include <QRegion>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace tuckshelf {
namespace {

// The shape requests need the extension; Xvfb and every desktop server
// have it, but a missing one must not turn into protocol errors.
xcb_connection_t* shapeConnection() {
  xcb_connection_t* c = qtXcbConnection();
  if (!c) return nullptr;
  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
  return shape && shape->present ? c : nullptr;
}

xcb_window_t windowId(QWidget& window) { return xcb_window_t(window.winId()); }

std::vector<xcb_rectangle_t> rectanglesOf(const QRegion& region) {
  std::vector<xcb_rectangle_t> rects;
  for (const QRect& r : region)
    rects.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
  return rects;
}

}  // namespace

void X11WindowShaper::prepare(QWidget& window) {
  xcb_connection_t* c = qtXcbConnection();
  if (!c) return fallback_.prepare(window);
  // Xwayland shows the window's whole picture, stale pixels beyond the
  // bounding shape included: there the window draws on a clear background,
  // which Qt gives it a 32-bit visual for, and its painting is its shape.
  paintsItsShape_ = qtRunsOnXwayland();
  if (!window.testAttribute(Qt::WA_WState_Created) && paintsItsShape_)
    window.setAttribute(Qt::WA_TranslucentBackground);
  const QByteArray value = QByteArrayLiteral("tuckshelf\0tuckshelf\0");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, windowId(window), XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      uint32_t(value.size()), value.constData());
  X11MotionPacer::instance().pace(windowId(window), [window = QPointer<QWidget>(&window)](QPoint, QPoint local) {
    // Told as Qt would tell it, so that hover follows.
    if (!window || !window->rect().contains(local) || !window->windowHandle()) return;
    QMouseEvent move(QEvent::MouseMove, local, local, window->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &move);
  });
}

void X11WindowShaper::setBoundingShape(QWidget& window, const QRegion& shape) {
  xcb_connection_t* c = shapeConnection();
  if (!c) return fallback_.setBoundingShape(window, shape);
  if (paintsItsShape_) {
    shape_ = shape;
    // Input that follows the shape follows the painted one.
    if (!input_) setInputRegion(window, std::nullopt);
    return;
  }
  const std::vector<xcb_rectangle_t> rects = rectanglesOf(shape);
  // Zero rectangles is a legal, empty shape: mapped, yet nothing shows.
  xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, windowId(window),
                       0, 0, uint32_t(rects.size()), rects.data());
  xcb_flush(c);
}

void X11WindowShaper::setInputRegion(QWidget& window, const std::optional<QRegion>& given) {
  xcb_connection_t* c = shapeConnection();
  if (!c) return fallback_.setInputRegion(window, given);
  const xcb_window_t id = windowId(window);
  input_ = given;
  const std::optional<QRegion> region = paintsItsShape_ && !given ? std::optional(shape_) : given;
  if (region) {
    const std::vector<xcb_rectangle_t> rects = rectanglesOf(*region);
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                         uint32_t(rects.size()), rects.data());
  } else {
    // No input shape of its own: input follows the bounding shape, through
    // every later resize and reshape.
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
  }
  xcb_flush(c);
}

bool X11WindowShaper::needsNewWindow(const QWidget& window, const QRect& geometry) const {
  const bool shrinks = geometry.width() < window.width() || geometry.height() < window.height();
  return paintsItsShape_ && input_ && input_->isEmpty() && shrinks;
}

void X11WindowShaper::takeKeyboard(QWidget& window, std::function<void()>) {
  if (!qtXcbConnection()) return fallback_.takeKeyboard(window, {});
  keyboard_.take(windowId(window));
}

void X11WindowShaper::releaseKeyboard(QWidget& window) {
  if (!qtXcbConnection()) return fallback_.releaseKeyboard(window);
  keyboard_.release();
}

void X11WindowShaper::flush() {
  if (xcb_connection_t* c = qtXcbConnection()) xcb_flush(c);
}

}  // namespace tuckshelf
