#include "app/overlay_panel_x11.h"

#include <vector>

#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace tuckshelf::panel_x11 {
namespace {

xcb_connection_t* connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

// The shape requests need the extension; Xvfb and every desktop server
// have it, but a missing one must not turn into protocol errors.
xcb_connection_t* shapeConnection() {
  xcb_connection_t* c = connection();
  if (!c) return nullptr;
  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
  return shape && shape->present ? c : nullptr;
}

xcb_window_t windowId(QWidget& window) { return xcb_window_t(window.winId()); }

// Somewhere no window reaches: Qt treats an empty mask as none at all.
const QRegion kNothing(-1, -1, 1, 1);

}  // namespace

void setBoundingShape(QWidget& window, const QRegion& shape) {
  xcb_connection_t* c = shapeConnection();
  if (!c) {
    window.setMask(shape.isEmpty() ? kNothing : shape);
    return;
  }
  std::vector<xcb_rectangle_t> rects;
  for (const QRect& r : shape) {
    rects.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
  }
  // Zero rectangles is a legal, empty shape: mapped, yet nothing shows.
  xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, windowId(window),
                       0, 0, uint32_t(rects.size()), rects.data());
  xcb_flush(c);
}

void setPassesClicksThrough(QWidget& window, bool on) {
  xcb_connection_t* c = shapeConnection();
  if (!c) {
    window.winId();
    if (QWindow* handle = window.windowHandle()) handle->setFlag(Qt::WindowTransparentForInput, on);
    return;
  }
  const xcb_window_t id = windowId(window);
  if (on) {
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, 0, nullptr);
  } else {
    // No input shape of its own: input follows the bounding shape, through
    // every later resize and reshape.
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
  }
  xcb_flush(c);
}

void setWindowClass(QWidget& window, const QByteArray& name) {
  xcb_connection_t* c = connection();
  if (!c) return;
  QByteArray value = name + '\0' + name + '\0';
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, windowId(window), XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      uint32_t(value.size()), value.constData());
  xcb_flush(c);
}

void flush() {
  if (xcb_connection_t* c = connection()) xcb_flush(c);
}

}  // namespace tuckshelf::panel_x11
