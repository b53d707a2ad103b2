#pragma once

#include <functional>

#include <QRegion>

struct wl_buffer;
struct wl_compositor;
struct wl_output;
struct wl_shm;
struct wl_surface;
struct wp_viewport;
struct wp_viewporter;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace tuckshelf {

// A clear layer surface over the whole of one output, above every window
// and whatever bars reserve, taking input only where it is told: one clear
// pixel scaled to the output. On screen from the compositor's first
// configure.
class WaylandClearLayer {
 public:
  // What it is made of, bound on one connection; they must outlive it.
  struct Parts {
    wl_compositor* compositor = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    wp_viewporter* viewporter = nullptr;
    wl_buffer* pixel = nullptr;  // clearPixel()'s
  };
  // One clear ARGB pixel; null if no memory file could be made.
  static wl_buffer* clearPixel(wl_shm* shm);

  // `mapped` runs once it is on screen, and should commit; `closed` when
  // the compositor takes it away (its output went), and may destroy it.
  WaylandClearLayer(const Parts& parts, wl_output* output, std::function<void()> mapped,
                    std::function<void()> closed);
  ~WaylandClearLayer();
  WaylandClearLayer(const WaylandClearLayer&) = delete;
  WaylandClearLayer& operator=(const WaylandClearLayer&) = delete;

  wl_surface* surface() const { return surface_; }
  bool isMapped() const { return mapped_; }
  // Where it takes input (output coordinates); goes with the next commit.
  void setInputRegion(const QRegion& region);
  void commit();

  // The compositor's events.
  static void configured(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                         uint32_t height);
  static void closedByCompositor(void* data, zwlr_layer_surface_v1* layer);

 private:
  Parts parts_;
  std::function<void()> onMapped_;
  std::function<void()> onClosed_;
  wl_surface* surface_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  bool mapped_ = false;
};

}  // namespace tuckshelf
