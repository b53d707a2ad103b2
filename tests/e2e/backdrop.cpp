// A plain grey desktop for a compositor that draws none (KWin without
// Plasma's shell draws black, the open list's own colour), for the
// end-to-end tests: a layer surface on the background layer of every
// output, filled with #bebebe.
//
//   backdrop
//     Prints "ready" once every output shows it, and keeps it until stdin
//     closes or a signal ends the tool.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wlr-layer-shell-unstable-v1-client.h"

namespace {

constexpr uint32_t kGrey = 0xffbebebe;  // ARGB

struct Backdrop {
  wl_output* output = nullptr;
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  uint32_t width = 0, height = 0;
  bool drawn = false;
};

struct Globals {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layerShell = nullptr;
  std::vector<Backdrop> backdrops;
};

void announced(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* g = static_cast<Globals*>(data);
  if (!std::strcmp(interface, wl_compositor_interface.name))
    g->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  else if (!std::strcmp(interface, wl_shm_interface.name))
    g->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (!std::strcmp(interface, zwlr_layer_shell_v1_interface.name))
    g->layerShell =
        static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
  else if (!std::strcmp(interface, wl_output_interface.name))
    g->backdrops.push_back({static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1))});
}

void withdrawn(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {announced, withdrawn};

// A buffer of one colour, kept for the tool's life.
wl_buffer* greyBuffer(wl_shm* shm, uint32_t width, uint32_t height) {
  const size_t stride = size_t(width) * 4, size = stride * height;
  const int fd = memfd_create("backdrop", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, off_t(size)) < 0) return nullptr;
  void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return close(fd), nullptr;
  for (size_t i = 0; i < size / 4; ++i) static_cast<uint32_t*>(pixels)[i] = kGrey;
  munmap(pixels, size);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(size));
  wl_buffer* buffer =
      wl_shm_pool_create_buffer(pool, 0, int32_t(width), int32_t(height), int32_t(stride), WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return buffer;
}

Globals* globalsOf = nullptr;

void configured(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
  auto* b = static_cast<Backdrop*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  if (b->drawn && width == b->width && height == b->height) return wl_surface_commit(b->surface);
  b->width = width, b->height = height;
  if (wl_buffer* buffer = greyBuffer(globalsOf->shm, width, height)) {
    wl_surface_attach(b->surface, buffer, 0, 0);
    wl_surface_damage(b->surface, 0, 0, int32_t(width), int32_t(height));
  }
  wl_surface_commit(b->surface);
  b->drawn = true;
}

void closed(void*, zwlr_layer_surface_v1*) {}

const zwlr_layer_surface_v1_listener kLayerListener = {configured, closed};

}  // namespace

int main() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return std::fprintf(stderr, "backdrop: no Wayland display\n"), 1;
  Globals globals;
  globalsOf = &globals;
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &globals);
  wl_display_roundtrip(display);
  if (!globals.compositor || !globals.shm || !globals.layerShell || globals.backdrops.empty())
    return std::fprintf(stderr, "backdrop: the compositor offers no layer shell, shm or output\n"), 1;
  for (Backdrop& b : globals.backdrops) {
    b.surface = wl_compositor_create_surface(globals.compositor);
    b.layer = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, b.surface, b.output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "backdrop");
    zwlr_layer_surface_v1_add_listener(b.layer, &kLayerListener, &b);
    zwlr_layer_surface_v1_set_anchor(b.layer,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(b.layer, -1);
    wl_surface_commit(b.surface);
  }
  for (int i = 0; i < 10; ++i) {
    if (wl_display_roundtrip(display) < 0) return std::fprintf(stderr, "backdrop: refused\n"), 1;
    bool all = true;
    for (const Backdrop& b : globals.backdrops) all = all && b.drawn;
    if (all) break;
  }
  wl_display_roundtrip(display);
  std::puts("ready");
  std::fflush(stdout);
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}};
  char buffer[64];
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents && read(STDIN_FILENO, buffer, sizeof buffer) <= 0) return 0;
    if (fds[1].revents && wl_display_dispatch(display) < 0) return 1;
  }
}
