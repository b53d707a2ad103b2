#include "platform/wayland/wayland_clear_layer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "platform/wayland/wayland_input_region.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace tuckshelf {

wl_buffer* WaylandClearLayer::clearPixel(wl_shm* shm) {
  const int fd = memfd_create("tuckshelf-pixel", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  wl_buffer* buffer = nullptr;
  // A fresh file reads as zeros: a clear pixel.
  if (ftruncate(fd, 4) == 0) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, 4);
    buffer = wl_shm_pool_create_buffer(pool, 0, 1, 1, 4, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
  }
  close(fd);
  return buffer;
}

WaylandClearLayer::WaylandClearLayer(const Parts& parts, wl_output* output, std::function<void()> mapped,
                                     std::function<void()> closed)
    : parts_(parts), onMapped_(std::move(mapped)), onClosed_(std::move(closed)) {
  surface_ = wl_compositor_create_surface(parts.compositor);
  viewport_ = wp_viewporter_get_viewport(parts.viewporter, surface_);
  layer_ = zwlr_layer_shell_v1_get_layer_surface(parts.layerShell, surface_, output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                 "tuckshelf");
  static const zwlr_layer_surface_v1_listener listener = {configured, closedByCompositor};
  zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
  // Size 0 between opposite anchors: the output's whole width and height.
  zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                               ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_size(layer_, 0, 0);
  zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
  setInputRegion(QRegion());
  wl_surface_commit(surface_);
}

WaylandClearLayer::~WaylandClearLayer() {
  zwlr_layer_surface_v1_destroy(layer_);
  wp_viewport_destroy(viewport_);
  wl_surface_destroy(surface_);
}

void WaylandClearLayer::setInputRegion(const QRegion& region) {
  setWaylandInputRegion(parts_.compositor, surface_, region);
}

void WaylandClearLayer::commit() { wl_surface_commit(surface_); }

void WaylandClearLayer::configured(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                                   uint32_t height) {
  auto* self = static_cast<WaylandClearLayer*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  if (width > 0 && height > 0) wp_viewport_set_destination(self->viewport_, int32_t(width), int32_t(height));
  if (self->mapped_) return self->commit();
  wl_surface_attach(self->surface_, self->parts_.pixel, 0, 0);
  wl_surface_damage(self->surface_, 0, 0, 1, 1);
  self->mapped_ = true;
  if (self->onMapped_) self->onMapped_();
}

void WaylandClearLayer::closedByCompositor(void* data, zwlr_layer_surface_v1*) {
  // Held by value: it may destroy this layer.
  if (const auto closed = static_cast<WaylandClearLayer*>(data)->onClosed_) closed();
}

}  // namespace tuckshelf
