#include "platform/wayland/wayland_pointer_catcher.h"

#include <cmath>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include "platform/wayland/wayland_arrow_cursor.h"
#include "platform/wayland/wayland_clear_layer.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_output_names.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace tuckshelf {
namespace {

// A frame at 60 Hz: the pace at which pointer motion is read.
constexpr int kFrameMs = 16;

Qt::MouseButton qtButton(std::uint32_t code) {
  switch (code) {
    case BTN_LEFT:
      return Qt::LeftButton;
    case BTN_RIGHT:
      return Qt::RightButton;
    case BTN_MIDDLE:
      return Qt::MiddleButton;
    default:
      return Qt::NoButton;
  }
}

}  // namespace

// The seat's and the pointer's events.
struct WaylandPointerCatcher::Listeners {
  // Filled by name: newer libwayland adds events this binding never gets.
  static inline const wl_pointer_listener pointer = [] {
    wl_pointer_listener l{};
    l.enter = [](void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
      static_cast<WaylandPointerCatcher*>(data)->entered(surface, serial,
                                                         QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
    };
    l.leave = [](void* data, wl_pointer*, uint32_t, wl_surface*) { static_cast<WaylandPointerCatcher*>(data)->left(); };
    l.motion = [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
      static_cast<WaylandPointerCatcher*>(data)->moved(QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
    };
    l.button = [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t code, uint32_t state) {
      static_cast<WaylandPointerCatcher*>(data)->button(code, state == WL_POINTER_BUTTON_STATE_PRESSED);
    };
    l.axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {};
    l.frame = [](void*, wl_pointer*) {};
    l.axis_source = [](void*, wl_pointer*, uint32_t) {};
    l.axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {};
    l.axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {};
    return l;
  }();
  static constexpr wl_seat_listener seat = {
      .capabilities =
          [](void* data, wl_seat* seat, uint32_t capabilities) {
            auto* self = static_cast<WaylandPointerCatcher*>(data);
            const bool has = capabilities & WL_SEAT_CAPABILITY_POINTER;
            if (has && !self->pointer_) {
              self->pointer_ = wl_seat_get_pointer(seat);
              wl_pointer_add_listener(self->pointer_, &pointer, self);
            } else if (!has && self->pointer_) {
              self->left();
              wl_pointer_release(self->pointer_);
              self->pointer_ = nullptr;
            }
          },
      .name = [](void*, wl_seat*, const char*) {},
  };
};

std::unique_ptr<WaylandPointerCatcher> WaylandPointerCatcher::create(WaylandConnection& connection) {
  // The outputs must be known by the names Qt gives its screens.
  const bool named = connection.versionOf("wl_output") >= 4 || connection.versionOf("zxdg_output_manager_v1") >= 2;
  if (!connection.isValid() || !named || connection.versionOf("zwlr_layer_shell_v1") == 0 ||
      connection.versionOf("wl_compositor") == 0 || connection.versionOf("wl_shm") == 0 ||
      connection.versionOf("wp_viewporter") == 0 || connection.versionOf("wl_seat") < 5)
    return nullptr;
  std::unique_ptr<WaylandPointerCatcher> catcher(new WaylandPointerCatcher(connection));
  catcher->compositor_ = static_cast<wl_compositor*>(connection.bind(&wl_compositor_interface, 4));
  catcher->layerShell_ = static_cast<zwlr_layer_shell_v1*>(connection.bind(&zwlr_layer_shell_v1_interface, 1));
  catcher->shm_ = static_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
  catcher->viewporter_ = static_cast<wp_viewporter*>(connection.bind(&wp_viewporter_interface, 1));
  catcher->seat_ = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 5));
  if (catcher->shm_) catcher->pixel_ = WaylandClearLayer::clearPixel(catcher->shm_);
  if (!catcher->pixel_) return nullptr;
  catcher->arrow_ = std::make_unique<WaylandArrowCursor>(catcher->compositor_, catcher->shm_);
  wl_seat_add_listener(catcher->seat_, &Listeners::seat, catcher.get());
  catcher->outputs_ = std::make_unique<WaylandOutputNames>(connection);
  return catcher;
}

WaylandPointerCatcher::WaylandPointerCatcher(WaylandConnection& connection) : connection_(connection) {
  frame_.setInterval(kFrameMs);
  QObject::connect(&frame_, &QTimer::timeout, [this] { tick(); });
  // A screen Qt learns of is named on this connection by its next opening.
  QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &frame_, [this] { outputs_->refresh(); });
}

WaylandPointerCatcher::~WaylandPointerCatcher() {
  stopPacing();
  surface_.reset();
  outputs_.reset();
  arrow_.reset();
  if (pointer_) wl_pointer_release(pointer_);
  if (seat_) wl_seat_release(seat_);
  if (pixel_) wl_buffer_destroy(pixel_);
  if (viewporter_) wp_viewporter_destroy(viewporter_);
  // Version 1 of the layer shell has no destructor request.
  if (layerShell_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  connection_.flush();
}

void WaylandPointerCatcher::cover(QWindow& window, QScreen* screen, QPoint origin, const QRegion& region) {
  if (window_ != &window) release();
  if (!surface_ || screen != screen_) {
    surface_.reset();
    left();
  }
  window_ = &window;
  origin_ = origin;
  region_ = region;
  if (!surface_) {
    startSurface(screen);
  } else if (surface_->isMapped()) {
    applyRegion();
  }
  connection_.flush();
}

void WaylandPointerCatcher::startSurface(QScreen* screen) {
  screen_ = screen;
  if (screen && screen == refused_) return;
  wl_output* output = screen ? outputs_->find(screen->name()) : nullptr;
  // Not known by that name (yet): Qt keeps the pointer this time.
  if (!output) return outputs_->refresh();
  const WaylandClearLayer::Parts parts{compositor_, layerShell_, viewporter_, pixel_};
  surface_ = std::make_unique<WaylandClearLayer>(parts, output, [this] { surfaceReady(); }, [this] { surfaceGone(); });
}

void WaylandPointerCatcher::release() {
  stopPacing();
  surface_.reset();
  refused_ = nullptr;
  if (inside_) {
    inside_ = false;
    buttons_ = {};
    // Posted: the window may be in the middle of the click that closed it.
    if (window_) QCoreApplication::postEvent(window_, new QEvent(QEvent::Leave));
  }
  window_ = nullptr;
  connection_.flush();
}

bool WaylandPointerCatcher::isCatching(const QWindow* window) const {
  return surface_ && surface_->isMapped() && covers(window);
}

void WaylandPointerCatcher::surfaceReady() {
  applyRegion();
  notify();
}

void WaylandPointerCatcher::surfaceGone() {
  // The output went, or the compositor will not have the surface: Qt
  // takes the pointer back until the window is released.
  refused_ = screen_;
  surface_.reset();
  left();
  notify();
}

void WaylandPointerCatcher::applyRegion() {
  const QPoint offset = screen_ ? origin_ - screen_->geometry().topLeft() : origin_;
  surface_->setInputRegion(region_.translated(offset));
  surface_->commit();
}

void WaylandPointerCatcher::notify() {
  if (const auto changed = changed_) changed();
}

QPointF WaylandPointerCatcher::global(QPointF at) const {
  return screen_ ? at + screen_->geometry().topLeft() : at;
}

void WaylandPointerCatcher::send(QEvent& event) {
  if (window_) QCoreApplication::sendEvent(window_, &event);
}

void WaylandPointerCatcher::entered(wl_surface* surface, std::uint32_t serial, QPointF at) {
  if (!surface_ || surface != surface_->surface()) return;
  arrow_->show(pointer_, serial, screen_ ? int(std::ceil(screen_->devicePixelRatio())) : 1);
  inside_ = true;
  position_ = at;
  QEnterEvent enter(global(at) - origin_, global(at) - origin_, global(at));
  send(enter);
}

void WaylandPointerCatcher::left() {
  if (!inside_) return;
  stopPacing();
  inside_ = false;
  buttons_ = {};
  QEvent leave(QEvent::Leave);
  send(leave);
}

// The first move goes at once; while the pointer keeps moving, the
// connection is read once a frame and the frame's last move goes.
void WaylandPointerCatcher::moved(QPointF at) {
  if (!inside_) return;
  position_ = at;
  movedThisFrame_ = true;
  if (frame_.isActive()) {
    moveHeld_ = true;
    return;
  }
  deliverMove();
  connection_.setWatched(false);
  frame_.start();
}

void WaylandPointerCatcher::button(std::uint32_t code, bool pressed) {
  const Qt::MouseButton which = qtButton(code);
  if (!inside_ || which == Qt::NoButton) return;
  if (moveHeld_) deliverMove();  // where it is pressed
  buttons_.setFlag(which, pressed);
  const QPointF at = global(position_);
  QMouseEvent event(pressed ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at - origin_, at - origin_, at,
                    which, buttons_, QGuiApplication::keyboardModifiers());
  send(event);
}

void WaylandPointerCatcher::deliverMove() {
  moveHeld_ = false;
  const QPointF at = global(position_);
  QMouseEvent move(QEvent::MouseMove, at - origin_, at - origin_, at, Qt::NoButton, buttons_,
                   QGuiApplication::keyboardModifiers());
  send(move);
}

void WaylandPointerCatcher::tick() {
  movedThisFrame_ = false;
  connection_.readPending();
  if (moveHeld_) deliverMove();
  // A frame without motion: back to reading at once.
  if (!movedThisFrame_) stopPacing();
}

void WaylandPointerCatcher::stopPacing() {
  moveHeld_ = false;
  if (!frame_.isActive()) return;
  frame_.stop();
  connection_.setWatched(true);
}

}  // namespace tuckshelf
