#include "platform/x11/x11_hover_bands.h"

#include <algorithm>
#include <cstdlib>

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QRect>
#include <QSize>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include "platform/qt/qt_coordinates.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_motion_pacer.h"

namespace tuckshelf {
namespace {

// Motion as hints, paced to the frame rate by X11MotionPacer.
constexpr uint32_t kPointerEvents = XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                                    XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_POINTER_MOTION_HINT;

xcb_screen_t* defaultScreen(xcb_connection_t* c) {
  // Qt draws on the default screen; so do we.
  return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

// Whether a compositing manager draws this screen: it owns _NET_WM_CM_S0.
bool compositorRuns(xcb_connection_t* c) {
  return selectionOwner(c, internAtom(c, "_NET_WM_CM_S0")) != XCB_WINDOW_NONE;
}

// A 32-bit TrueColor visual of the screen, or 0.
xcb_visualid_t argbVisual(xcb_screen_t* screen) {
  for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
    if (depths.data->depth != 32) continue;
    for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v))
      if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return v.data->visual_id;
  }
  return 0;
}

}  // namespace

class X11HoverBands::Windows : public QAbstractNativeEventFilter {
 public:
  Windows() : c_(qtXcbConnection()) {
    if (!c_) return;
    screen_ = defaultScreen(c_);
    if (compositorRuns(c_) || qtRunsOnXwayland()) visual_ = argbVisual(screen_);
    if (visual_) {
      colormap_ = xcb_generate_id(c_);
      xcb_create_colormap(c_, XCB_COLORMAP_ALLOC_NONE, colormap_, screen_->root, visual_);
    }
    QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
  }

  ~Windows() override {
    if (!c_) return;
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->removeNativeEventFilter(this);
    for (xcb_window_t w : windows_) {
      X11MotionPacer::instance().forget(w);
      xcb_destroy_window(c_, w);
    }
    if (colormap_) xcb_free_colormap(c_, colormap_);
    xcb_flush(c_);
  }

  void set(const std::vector<Rect>& bands) {
    if (!c_) return;
    while (windows_.size() > bands.size()) {
      X11MotionPacer::instance().forget(windows_.back());
      xcb_destroy_window(c_, windows_.back());
      windows_.pop_back();
      placed_.resize(windows_.size());
    }
    while (windows_.size() < bands.size()) {
      windows_.push_back(create());
      X11MotionPacer::instance().pace(windows_.back(), [this, i = windows_.size() - 1](QPoint root, QPoint local) {
        if (i < placed_.size() && QRect(QPoint(), placed_[i].size()).contains(local) && handler)
          report(PointerEvent::Kind::moved, int16_t(root.x()), int16_t(root.y()));
      });
    }
    placed_.resize(bands.size());
    for (std::size_t i = 0; i < bands.size(); ++i) {
      QRect r = toQtPixels(bands[i]);
      r.setSize(r.size().expandedTo(QSize(1, 1)));
      // A band that moves is unmapped first: the server reports the pointer
      // crossing on a map or unmap, not on a move, and the pointer must
      // learn that it is no longer (or now) in the band.
      const bool moved = placed_[i] != r;
      if (moved) xcb_unmap_window(c_, windows_[i]);
      const uint32_t values[] = {uint32_t(r.x()), uint32_t(r.y()), uint32_t(r.width()), uint32_t(r.height()),
                                 XCB_STACK_MODE_ABOVE};
      xcb_configure_window(c_, windows_[i],
                           XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                               XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                           values);
      if (moved) xcb_map_window(c_, windows_[i]);
      placed_[i] = r;
    }
    xcb_flush(c_);
  }

  PointerHandler handler;


  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t" || !handler) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_ENTER_NOTIFY:
      case XCB_LEAVE_NOTIFY: {
        const auto* crossing = reinterpret_cast<const xcb_enter_notify_event_t*>(event);
        if (!ours(crossing->event)) return false;
        const bool entered = (event->response_type & 0x7f) == XCB_ENTER_NOTIFY;
        report(entered ? PointerEvent::Kind::entered : PointerEvent::Kind::left, crossing->root_x,
               crossing->root_y);
        return false;
      }
      case XCB_MOTION_NOTIFY: {
        const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
        if (!ours(motion->event)) return false;
        report(PointerEvent::Kind::moved, motion->root_x, motion->root_y);
        return false;  // the pacer hears of it too; Qt knows no such window
      }
    }
    return false;
  }

 private:
  xcb_window_t create() {
    const xcb_window_t w = xcb_generate_id(c_);
    if (visual_) {
      // Clear pixels that a compositor blends away to nothing.
      const uint32_t values[] = {0, 0, 1, kPointerEvents, colormap_};
      xcb_create_window(c_, 32, w, screen_->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual_,
                        XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT |
                            XCB_CW_EVENT_MASK | XCB_CW_COLORMAP,
                        values);
    } else {
      const uint32_t values[] = {1, kPointerEvents};
      xcb_create_window(c_, 0, w, screen_->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                        XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    }
    return w;
  }

  bool ours(xcb_window_t w) const { return std::find(windows_.begin(), windows_.end(), w) != windows_.end(); }

  void report(PointerEvent::Kind kind, int16_t x, int16_t y) {
    // Held by value: the handler may replace itself.
    const PointerHandler h = handler;
    h(PointerEvent{kind, pointToGlobalYUp(QPoint(x, y))});
  }

  xcb_connection_t* c_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  xcb_visualid_t visual_ = 0;
  xcb_colormap_t colormap_ = 0;
  std::vector<xcb_window_t> windows_;
  std::vector<QRect> placed_;  // where each window is
};

X11HoverBands::X11HoverBands() : windows_(std::make_unique<Windows>()) {}
X11HoverBands::~X11HoverBands() = default;

PointerLimits X11HoverBands::limits() const {
  constexpr double kEdgeRows = 2;  // where a push into the top edge lands
  return qtRunsOnXwayland() ? PointerLimits{true, kEdgeRows} : PointerLimits{};
}

void X11HoverBands::setBands(const std::vector<Rect>& bands) { windows_->set(bands); }
void X11HoverBands::setPointerHandler(PointerHandler handler) { windows_->handler = std::move(handler); }

}  // namespace tuckshelf
