#pragma once

#include <functional>
#include <memory>

#include <QPointer>
#include <QPointF>
#include <QRegion>
#include <QTimer>
#include <QWindow>

class QScreen;
struct wl_buffer;
struct wl_compositor;
struct wl_pointer;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wp_viewporter;
struct zwlr_layer_shell_v1;

namespace tuckshelf {

class WaylandArrowCursor;
class WaylandClearLayer;
class WaylandConnection;
class WaylandOutputNames;

// Takes the pointer over a Qt window on this program's own connection and
// hands it to the window as Qt's own events would. Any event on Qt's
// connection wakes Qt's event threads as well as the main thread, a
// thousand times a second for a fast mouse; here the connection is read
// once a frame while the pointer moves, and only the frame's last motion
// reaches the window.
//
// Its surface is a clear layer over the window's whole output, taking
// input only where the window would.
class WaylandPointerCatcher {
 public:
  // Null when the compositor lacks what it needs; `connection` must
  // outlive the catcher.
  static std::unique_ptr<WaylandPointerCatcher> create(WaylandConnection& connection);
  ~WaylandPointerCatcher();
  WaylandPointerCatcher(const WaylandPointerCatcher&) = delete;
  WaylandPointerCatcher& operator=(const WaylandPointerCatcher&) = delete;

  // Runs whenever isCatching() may have changed.
  void setChangeHandler(std::function<void()> changed) { changed_ = std::move(changed); }

  // Takes the pointer over `region` (window coordinates) of `window`,
  // whose top left is at `origin` (global) on `screen`.
  void cover(QWindow& window, QScreen* screen, QPoint origin, const QRegion& region);
  // Lets the pointer go; the window sees it leave.
  void release();
  // Whether `window` is the one last covered and not released.
  bool covers(const QWindow* window) const { return window && window_ == window; }
  // Whether the catcher takes the pointer for `window` now: its surface
  // is on screen.
  bool isCatching(const QWindow* window) const;

 private:
  explicit WaylandPointerCatcher(WaylandConnection& connection);
  struct Listeners;

  void startSurface(QScreen* screen);
  void surfaceReady();
  void surfaceGone();
  void applyRegion();
  void notify();

  // The pointer's events, in surface coordinates.
  void entered(wl_surface* surface, std::uint32_t serial, QPointF at);
  void left();
  void moved(QPointF at);
  void button(std::uint32_t code, bool pressed);
  void deliverMove();
  void tick();
  void stopPacing();
  void send(QEvent& event);
  QPointF global(QPointF at) const;

  WaylandConnection& connection_;
  std::unique_ptr<WaylandOutputNames> outputs_;
  wl_compositor* compositor_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wl_shm* shm_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_buffer* pixel_ = nullptr;  // one clear pixel, scaled to the output
  std::unique_ptr<WaylandArrowCursor> arrow_;

  std::unique_ptr<WaylandClearLayer> surface_;
  QPointer<QWindow> window_;
  QPointer<QScreen> screen_;
  QPointer<QScreen> refused_;  // closed the surface there: Qt keeps the pointer
  QPoint origin_;
  QRegion region_;
  std::function<void()> changed_;

  bool inside_ = false;
  Qt::MouseButtons buttons_;
  QPointF position_;       // surface coordinates, the latest
  bool moveHeld_ = false;  // a move waits for the frame's end
  bool movedThisFrame_ = false;
  QTimer frame_;
};

}  // namespace tuckshelf
