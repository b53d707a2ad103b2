#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QRect>
#include <QRegion>

class QScreen;
class QWindow;
struct wl_surface;
struct zwlr_layer_surface_v1;

namespace tuckshelf {

class WaylandQtGlobals;

// A Qt window made a layer-shell surface on the overlay layer of one
// output: anchored to the output's top-left corner and placed by margins,
// above every window, ignoring the zones bars reserve, taking the keyboard
// only while asked to. Sizes and margins go out with the window's next commit, which
// for a new size is Qt's own, with the buffer drawn at that size: no frame
// shows the new size with the old picture.
class WaylandLayerSurface {
 public:
  // For `window`, created but never shown, on `screen`. Waits for the
  // compositor's first configure (one round trip). Null when the surface
  // could not be made.
  static std::unique_ptr<WaylandLayerSurface> create(WaylandQtGlobals& globals, QWindow& window, QScreen* screen,
                                                     const QRect& geometry);
  ~WaylandLayerSurface();

  QScreen* screen() const { return screen_; }
  // False once the compositor has taken the surface away (its output went).
  bool isOpen() const { return open_; }

  // Places the surface at `geometry` (global pixels, on its screen).
  // Returns whether the size changed, so that the commit must wait for
  // the buffer drawn at the new size.
  bool place(const QRect& geometry);
  // Where the surface takes pointer input (surface coordinates); none is
  // all of it.
  void setInputRegion(const std::optional<QRegion>& region);
  // Whether the surface holds the keyboard (exclusively: the compositor
  // focuses it at once, and gives the focus back when it lets go).
  void setKeyboardInteractive(bool on);
  // Sends what is pending with a commit of the surface's current buffer.
  void commit();

  WaylandLayerSurface(const WaylandLayerSurface&) = delete;
  WaylandLayerSurface& operator=(const WaylandLayerSurface&) = delete;

  // The compositor's events.
  static void configured(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                         uint32_t height);
  static void closed(void* data, zwlr_layer_surface_v1* layer);

 private:
  WaylandLayerSurface(WaylandQtGlobals& globals, QScreen* screen, wl_surface* surface);

  WaylandQtGlobals& globals_;
  QScreen* screen_;
  wl_surface* surface_;
  zwlr_layer_surface_v1* layer_ = nullptr;
  QRect placed_;
  bool configured_ = false;
  bool open_ = true;
};

}  // namespace tuckshelf
