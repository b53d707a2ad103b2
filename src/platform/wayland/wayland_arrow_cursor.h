#pragma once

#include <cstdint>

struct wl_compositor;
struct wl_cursor_theme;
struct wl_pointer;
struct wl_shm;
struct wl_surface;

namespace tuckshelf {

// The arrow from the user's cursor theme ($XCURSOR_THEME, $XCURSOR_SIZE),
// for a pointer that enters a surface of this program's own connection:
// the compositor leaves the cursor to the surface under it. The theme is
// read on first use.
class WaylandArrowCursor {
 public:
  // `compositor` and `shm` must outlive the cursor.
  WaylandArrowCursor(wl_compositor* compositor, wl_shm* shm) : compositor_(compositor), shm_(shm) {}
  ~WaylandArrowCursor();
  WaylandArrowCursor(const WaylandArrowCursor&) = delete;
  WaylandArrowCursor& operator=(const WaylandArrowCursor&) = delete;

  // Shows the arrow, `scale` times its size, for the enter of `serial`.
  void show(wl_pointer* pointer, std::uint32_t serial, int scale);

 private:
  wl_compositor* compositor_;
  wl_shm* shm_;
  wl_cursor_theme* theme_ = nullptr;
  int themeScale_ = 0;
  wl_surface* surface_ = nullptr;
};

}  // namespace tuckshelf
