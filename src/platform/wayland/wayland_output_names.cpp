#include "platform/wayland/wayland_output_names.h"

#include <algorithm>

#include <wayland-client.h>

#include "platform/wayland/wayland_connection.h"
#include "xdg-output-unstable-v1-client.h"

namespace tuckshelf {

struct WaylandOutputNames::Output {
  std::uint32_t global = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  QString name;

  ~Output() {
    if (xdg) zxdg_output_v1_destroy(xdg);
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
      wl_output_release(output);
    else
      wl_output_destroy(output);
  }

  static void named(void* data, const char* name) { static_cast<Output*>(data)->name = QString::fromUtf8(name); }
};

namespace {

using Output = WaylandOutputNames::Output;

const wl_output_listener kOutputListener = {
    .geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t) {},
    .mode = [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, int32_t) {},
    .name = [](void* data, wl_output*, const char* name) { Output::named(data, name); },
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position = [](void*, zxdg_output_v1*, int32_t, int32_t) {},
    .logical_size = [](void*, zxdg_output_v1*, int32_t, int32_t) {},
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void* data, zxdg_output_v1*, const char* name) { Output::named(data, name); },
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

WaylandOutputNames::WaylandOutputNames(WaylandConnection& connection) : connection_(connection) {
  // Names came with version 2.
  if (connection.versionOf("zxdg_output_manager_v1") >= 2)
    xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(connection.bind(&zxdg_output_manager_v1_interface, 3));
  refresh();
}

WaylandOutputNames::~WaylandOutputNames() {
  outputs_.clear();
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
}

wl_output* WaylandOutputNames::find(const QString& name) const {
  const auto found = std::find_if(outputs_.begin(), outputs_.end(), [&](const auto& o) { return o->name == name; });
  return found == outputs_.end() || name.isEmpty() ? nullptr : (*found)->output;
}

void WaylandOutputNames::refresh() {
  const auto& globals = connection_.globals();
  std::erase_if(outputs_, [&](const auto& output) {
    return std::none_of(globals.begin(), globals.end(), [&](const auto& g) { return g.name == output->global; });
  });
  for (const WaylandConnection::Global& global : globals) {
    if (global.interface != wl_output_interface.name) continue;
    if (std::any_of(outputs_.begin(), outputs_.end(), [&](const auto& o) { return o->global == global.name; }))
      continue;
    auto* proxy = static_cast<wl_output*>(connection_.bind(global, &wl_output_interface, 4));
    if (!proxy) continue;
    auto output = std::make_unique<Output>();
    output->global = global.name;
    output->output = proxy;
    wl_output_add_listener(proxy, &kOutputListener, output.get());
    if (wl_output_get_version(proxy) < WL_OUTPUT_NAME_SINCE_VERSION && xdgOutputs_) {
      output->xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, proxy);
      zxdg_output_v1_add_listener(output->xdg, &kXdgOutputListener, output.get());
    }
    outputs_.push_back(std::move(output));
  }
  connection_.flush();
}

}  // namespace tuckshelf
