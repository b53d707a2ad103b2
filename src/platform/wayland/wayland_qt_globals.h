#pragma once

#include <memory>

class QScreen;
class QWindow;
struct wl_compositor;
struct wl_display;
struct wl_event_queue;
struct wl_output;
struct wl_surface;
struct zwlr_layer_shell_v1;

namespace tuckshelf {

// What the panel and the bands need of Qt's own Wayland connection: its
// surfaces and outputs, and the layer-shell bound beside Qt's globals.
// The binding runs on a queue of its own, so that none of Qt's events is
// dispatched from here.
class WaylandQtGlobals {
 public:
  // Null when Qt does not run on Wayland or the compositor has no
  // layer-shell.
  static std::unique_ptr<WaylandQtGlobals> bind();
  ~WaylandQtGlobals();

  wl_display* display() const { return display_; }
  wl_event_queue* queue() const { return queue_; }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
  wl_compositor* compositor() const { return compositor_; }

  // Qt's surface for `window`, which must have been created; or null.
  static wl_surface* surfaceOf(QWindow& window);
  static wl_output* outputOf(QScreen* screen);

  WaylandQtGlobals(const WaylandQtGlobals&) = delete;
  WaylandQtGlobals& operator=(const WaylandQtGlobals&) = delete;

 private:
  WaylandQtGlobals() = default;

  wl_display* display_ = nullptr;
  wl_event_queue* queue_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wl_compositor* compositor_ = nullptr;
};

}  // namespace tuckshelf
