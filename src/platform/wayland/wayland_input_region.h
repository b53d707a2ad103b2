#pragma once

#include <QRegion>

struct wl_compositor;
struct wl_surface;

namespace tuckshelf {

// Sets where `surface` takes pointer input, in surface coordinates; it
// goes out with the surface's next commit.
void setWaylandInputRegion(wl_compositor* compositor, wl_surface* surface, const QRegion& region);

}  // namespace tuckshelf
