#include "platform/wayland/wayland_input_region.h"

#include <wayland-client.h>

namespace tuckshelf {

void setWaylandInputRegion(wl_compositor* compositor, wl_surface* surface, const QRegion& region) {
  wl_region* input = wl_compositor_create_region(compositor);
  for (const QRect& r : region) wl_region_add(input, r.x(), r.y(), r.width(), r.height());
  wl_surface_set_input_region(surface, input);
  wl_region_destroy(input);
}

}  // namespace tuckshelf
