#include "platform/wayland/wayland_layer_surface.h"

#include <algorithm>

#include <QScreen>
#include <QWindow>
#include <wayland-client.h>

#include "platform/wayland/wayland_input_region.h"
#include "platform/wayland/wayland_qt_globals.h"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace tuckshelf {
namespace {

const zwlr_layer_surface_v1_listener* listener();

// The compositor answers a new layer surface within a round trip; one that
// does not is broken, and the window stays without a role.
constexpr int kConfigureRoundTrips = 4;

}  // namespace

WaylandLayerSurface::WaylandLayerSurface(WaylandQtGlobals& globals, QScreen* screen, wl_surface* surface)
    : globals_(globals), screen_(screen), surface_(surface) {}

std::unique_ptr<WaylandLayerSurface> WaylandLayerSurface::create(WaylandQtGlobals& globals, QWindow& window,
                                                                 QScreen* screen, const QRect& geometry) {
  wl_surface* surface = WaylandQtGlobals::surfaceOf(window);
  if (!surface) return nullptr;
  std::unique_ptr<WaylandLayerSurface> layer(new WaylandLayerSurface(globals, screen, surface));
  layer->layer_ = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell(), surface,
                                                        WaylandQtGlobals::outputOf(screen),
                                                        ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "tuckshelf");
  zwlr_layer_surface_v1_add_listener(layer->layer_, listener(), layer.get());
  zwlr_layer_surface_v1_set_anchor(layer->layer_,
                                   ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
  // -1: placed against the output's edge itself, whatever bars reserve.
  zwlr_layer_surface_v1_set_exclusive_zone(layer->layer_, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layer->layer_,
                                                   ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  layer->place(geometry);
  wl_surface_commit(surface);
  for (int i = 0; i < kConfigureRoundTrips && !layer->configured_ && layer->open_; ++i)
    wl_display_roundtrip_queue(globals.display(), globals.queue());
  if (!layer->configured_) return nullptr;
  // From here on Qt's own dispatch delivers its events, on the GUI thread.
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(layer->layer_), nullptr);
  return layer;
}

WaylandLayerSurface::~WaylandLayerSurface() {
  if (layer_) zwlr_layer_surface_v1_destroy(layer_);
}

bool WaylandLayerSurface::place(const QRect& geometry) {
  if (!layer_ || geometry == placed_) return false;
  const bool resized = geometry.size() != placed_.size();
  const QRect output = screen_ ? screen_->geometry() : QRect();
  if (resized)
    zwlr_layer_surface_v1_set_size(layer_, uint32_t(std::max(1, geometry.width())),
                                   uint32_t(std::max(1, geometry.height())));
  if (geometry.topLeft() != placed_.topLeft())
    zwlr_layer_surface_v1_set_margin(layer_, geometry.top() - output.top(), 0, 0, geometry.left() - output.left());
  placed_ = geometry;
  return resized;
}

void WaylandLayerSurface::setInputRegion(const std::optional<QRegion>& region) {
  if (!region) return wl_surface_set_input_region(surface_, nullptr);
  setWaylandInputRegion(globals_.compositor(), surface_, *region);
}

void WaylandLayerSurface::setKeyboardInteractive(bool on) {
  if (!layer_) return;
  zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, on ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                                              : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
}

void WaylandLayerSurface::commit() { wl_surface_commit(surface_); }

void WaylandLayerSurface::configured(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t,
                                     uint32_t) {
  // The size is always the one asked for; acknowledging is all there is.
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  static_cast<WaylandLayerSurface*>(data)->configured_ = true;
}

void WaylandLayerSurface::closed(void* data, zwlr_layer_surface_v1*) {
  static_cast<WaylandLayerSurface*>(data)->open_ = false;
}

namespace {
const zwlr_layer_surface_v1_listener* listener() {
  static const zwlr_layer_surface_v1_listener kListener = {&WaylandLayerSurface::configured,
                                                           &WaylandLayerSurface::closed};
  return &kListener;
}
}  // namespace

}  // namespace tuckshelf
