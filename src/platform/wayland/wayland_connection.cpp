#include "platform/wayland/wayland_connection.h"

#include <wayland-client.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tuckshelf {
namespace {

using Globals = std::vector<WaylandConnection::Global>;

void addGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
  static_cast<Globals*>(data)->push_back({name, QByteArray(interface), version});
}

void removeGlobal(void* data, wl_registry*, std::uint32_t name) {
  std::erase_if(*static_cast<Globals*>(data), [name](const auto& global) { return global.name == name; });
}

const wl_registry_listener kRegistryListener = {addGlobal, removeGlobal};

// The registry, listened to, once the compositor has announced its globals
// into `globals`; null when the connection failed meanwhile.
wl_registry* readGlobals(wl_display* display, Globals* globals) {
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, globals);
  if (wl_display_roundtrip(display) >= 0) return registry;
  wl_registry_destroy(registry);
  return nullptr;
}

bool offers(const Globals& globals, const char* interface) {
  return std::any_of(globals.begin(), globals.end(), [&](const auto& g) { return g.interface == interface; });
}

}  // namespace

std::string WaylandProtocols::firstMissing() const {
  if (!reachable) return "wl_display";
  if (!layerShell) return "zwlr_layer_shell_v1";
  if (!extDataControl && !wlrDataControl) return "ext_data_control_manager_v1 or zwlr_data_control_manager_v1";
  return {};
}

WaylandProtocols probeWaylandCompositor() {
  WaylandProtocols found;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return found;
  Globals globals;
  if (wl_registry* registry = readGlobals(display, &globals)) {
    found.reachable = true;
    found.layerShell = offers(globals, "zwlr_layer_shell_v1");
    found.extDataControl = offers(globals, "ext_data_control_manager_v1");
    found.wlrDataControl = offers(globals, "zwlr_data_control_manager_v1");
    wl_registry_destroy(registry);
  }
  wl_display_disconnect(display);
  return found;
}

WaylandConnection::WaylandConnection(const QByteArray& displayName) {
  display_ = wl_display_connect(displayName.isEmpty() ? nullptr : displayName.constData());
  if (!display_) {
    qWarning("tuckshelf: cannot connect to the Wayland compositor: %s", std::strerror(errno));
    return;
  }
  registry_ = readGlobals(display_, &globals_);
  if (!registry_) {
    fail();
    return;
  }
  const int fd = wl_display_get_fd(display_);
  readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(readable_.get(), &QSocketNotifier::activated, [this] { readEvents(); });
  writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
  writable_->setEnabled(false);
  QObject::connect(writable_.get(), &QSocketNotifier::activated, [this] { flush(); });
}

WaylandConnection::~WaylandConnection() {
  readable_.reset();
  writable_.reset();
  if (registry_) wl_registry_destroy(registry_);
  if (display_) wl_display_disconnect(display_);
}

bool WaylandConnection::isValid() const { return display_ && !failed_; }

std::uint32_t WaylandConnection::versionOf(const char* interface) const {
  for (const Global& global : globals_)
    if (global.interface == interface) return global.version;
  return 0;
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t maxVersion) {
  if (!isValid()) return nullptr;
  for (const Global& global : globals_)
    if (global.interface == interface->name) return bind(global, interface, maxVersion);
  return nullptr;
}

void* WaylandConnection::bind(const Global& global, const wl_interface* interface, std::uint32_t maxVersion) {
  if (!isValid()) return nullptr;
  return wl_registry_bind(registry_, global.name, interface, std::min(global.version, maxVersion));
}

void WaylandConnection::setWatched(bool watched) {
  if (readable_ && isValid()) readable_->setEnabled(watched);
}

void WaylandConnection::readEvents() {
  if (!isValid()) return;
  // Events already queued go first; reading is only allowed on an empty queue.
  while (wl_display_prepare_read(display_) != 0)
    if (wl_display_dispatch_pending(display_) < 0) return fail();
  // The socket is readable, and libwayland reads without blocking.
  if (wl_display_read_events(display_) < 0) return fail();
  dispatchAndFlush();
}

void WaylandConnection::dispatchAndFlush() {
  if (wl_display_dispatch_pending(display_) < 0) return fail();
  flush();  // what the handlers asked for
}

void WaylandConnection::flush() {
  if (!isValid()) return;
  if (wl_display_flush(display_) >= 0) return writable_->setEnabled(false);
  if (errno == EAGAIN) return writable_->setEnabled(true);
  fail();
}

void WaylandConnection::fail() {
  if (failed_) return;
  failed_ = true;
  // The socket stays readable once closed: stop listening to it.
  if (readable_) readable_->setEnabled(false);
  if (writable_) writable_->setEnabled(false);
  const int error = display_ ? wl_display_get_error(display_) : 0;
  qWarning("tuckshelf: the Wayland connection failed: %s", std::strerror(error ? error : errno));
}

WaylandConnection::Sync::Sync(WaylandConnection& connection, std::function<void()> done) : done_(std::move(done)) {
  if (!connection.isValid()) return;
  static const wl_callback_listener listener = {onDone};
  callback_ = wl_display_sync(connection.display());
  wl_callback_add_listener(callback_, &listener, this);
  connection.flush();
}

WaylandConnection::Sync::~Sync() {
  if (callback_) wl_callback_destroy(callback_);
}

void WaylandConnection::Sync::onDone(void* data, wl_callback* callback, std::uint32_t) {
  auto* self = static_cast<Sync*>(data);
  wl_callback_destroy(callback);
  self->callback_ = nullptr;
  const auto done = std::move(self->done_);  // may destroy this Sync
  done();
}

}  // namespace tuckshelf
