#include "platform/wayland/wayland_arrow_cursor.h"

#include <QByteArray>
#include <QtGlobal>
#include <wayland-client.h>
#include <wayland-cursor.h>

namespace tuckshelf {
namespace {

constexpr int kDefaultSize = 24;

}  // namespace

WaylandArrowCursor::~WaylandArrowCursor() {
  if (surface_) wl_surface_destroy(surface_);
  if (theme_) wl_cursor_theme_destroy(theme_);
}

void WaylandArrowCursor::show(wl_pointer* pointer, std::uint32_t serial, int scale) {
  scale = qMax(1, scale);
  if (!theme_ || themeScale_ != scale) {
    if (theme_) wl_cursor_theme_destroy(theme_);
    const QByteArray name = qgetenv("XCURSOR_THEME");
    bool ok = false;
    const int size = qEnvironmentVariableIntValue("XCURSOR_SIZE", &ok);
    // Without the theme libwayland-cursor has an arrow of its own.
    theme_ = wl_cursor_theme_load(name.isEmpty() ? nullptr : name.constData(),
                                  (ok && size > 0 ? size : kDefaultSize) * scale, shm_);
    themeScale_ = scale;
  }
  wl_cursor* arrow = theme_ ? wl_cursor_theme_get_cursor(theme_, "left_ptr") : nullptr;
  if (!arrow && theme_) arrow = wl_cursor_theme_get_cursor(theme_, "default");
  if (!arrow || arrow->image_count == 0) return;
  wl_cursor_image* image = arrow->images[0];
  wl_buffer* buffer = wl_cursor_image_get_buffer(image);
  if (!buffer) return;
  if (!surface_) surface_ = wl_compositor_create_surface(compositor_);
  wl_surface_set_buffer_scale(surface_, scale);
  wl_surface_attach(surface_, buffer, 0, 0);
  wl_surface_damage(surface_, 0, 0, int32_t(image->width), int32_t(image->height));
  wl_surface_commit(surface_);
  wl_pointer_set_cursor(pointer, serial, surface_, int32_t(image->hotspot_x) / scale,
                        int32_t(image->hotspot_y) / scale);
}

}  // namespace tuckshelf
