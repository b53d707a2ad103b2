#include "platform/wayland/wayland_qt_globals.h"

#include <algorithm>
#include <cstring>

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include "wlr-layer-shell-unstable-v1-client.h"

namespace tuckshelf {
namespace {

QPlatformNativeInterface* native() { return qGuiApp ? QGuiApplication::platformNativeInterface() : nullptr; }

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto& globals = *static_cast<std::pair<zwlr_layer_shell_v1**, wl_compositor**>*>(data);
  if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !*globals.first) {
    *globals.first = static_cast<zwlr_layer_shell_v1*>(
        wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, std::min(version, 4u)));
  } else if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !*globals.second) {
    *globals.second =
        static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, std::min(version, 4u)));
  }
}

void withdraw(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {announce, withdraw};

}  // namespace

std::unique_ptr<WaylandQtGlobals> WaylandQtGlobals::bind() {
  QPlatformNativeInterface* ni = native();
  if (!ni || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return nullptr;
  auto* display = static_cast<wl_display*>(ni->nativeResourceForIntegration("wl_display"));
  if (!display) return nullptr;

  std::unique_ptr<WaylandQtGlobals> globals(new WaylandQtGlobals);
  globals->display_ = display;
  globals->queue_ = wl_display_create_queue(display);
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), globals->queue_);
  wl_registry* registry = wl_display_get_registry(wrapper);
  wl_proxy_wrapper_destroy(wrapper);
  std::pair found{&globals->layerShell_, &globals->compositor_};
  wl_registry_add_listener(registry, &kRegistryListener, &found);
  wl_display_roundtrip_queue(display, globals->queue_);
  wl_registry_destroy(registry);
  if (!globals->layerShell_ || !globals->compositor_) return nullptr;
  return globals;
}

WaylandQtGlobals::~WaylandQtGlobals() {
  if (layerShell_) {
    if (zwlr_layer_shell_v1_get_version(layerShell_) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
      zwlr_layer_shell_v1_destroy(layerShell_);
    else
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
  }
  if (compositor_) wl_compositor_destroy(compositor_);
  if (queue_) wl_event_queue_destroy(queue_);
}

wl_surface* WaylandQtGlobals::surfaceOf(QWindow& window) {
  QPlatformNativeInterface* ni = native();
  return ni ? static_cast<wl_surface*>(ni->nativeResourceForWindow("surface", &window)) : nullptr;
}

wl_output* WaylandQtGlobals::outputOf(QScreen* screen) {
  QPlatformNativeInterface* ni = native();
  return ni && screen ? static_cast<wl_output*>(ni->nativeResourceForScreen("output", screen)) : nullptr;
}

}  // namespace tuckshelf
