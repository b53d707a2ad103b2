#include "platform/wayland/wayland_data_control.h"

#include <wayland-client.h>

#include <cstddef>

#include "ext-data-control-v1-client.h"
#include "platform/wayland/wayland_connection.h"
#include "wlr-data-control-unstable-v1-client.h"

namespace tuckshelf {
namespace {

// Requests are sent by the wlr opcodes; both versions must agree on them.
static_assert(ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE &&
              ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY == EXT_DATA_CONTROL_MANAGER_V1_DESTROY &&
              ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION == EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION &&
              ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == EXT_DATA_CONTROL_DEVICE_V1_DESTROY &&
              ZWLR_DATA_CONTROL_SOURCE_V1_OFFER == EXT_DATA_CONTROL_SOURCE_V1_OFFER &&
              ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY == EXT_DATA_CONTROL_SOURCE_V1_DESTROY &&
              ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE == EXT_DATA_CONTROL_OFFER_V1_RECEIVE &&
              ZWLR_DATA_CONTROL_OFFER_V1_DESTROY == EXT_DATA_CONTROL_OFFER_V1_DESTROY);
// destroy() serves devices, sources and offers alike.
static_assert(ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY &&
              ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

// Events are dispatched by their position in the listener: ours must line
// up with the generated ones of both versions.
#define TUCKSHELF_SAME_SLOT(ours, member, theirs, wlrMember)                                   \
  static_assert(offsetof(WaylandDataControl::ours, member) ==                                 \
                    offsetof(zwlr_data_control_##theirs##_listener, wlrMember) &&             \
                offsetof(WaylandDataControl::ours, member) == offsetof(ext_data_control_##theirs##_listener, wlrMember))
TUCKSHELF_SAME_SLOT(DeviceListener, dataOffer, device_v1, data_offer);
TUCKSHELF_SAME_SLOT(DeviceListener, selection, device_v1, selection);
TUCKSHELF_SAME_SLOT(DeviceListener, finished, device_v1, finished);
TUCKSHELF_SAME_SLOT(DeviceListener, primarySelection, device_v1, primary_selection);
TUCKSHELF_SAME_SLOT(SourceListener, send, source_v1, send);
TUCKSHELF_SAME_SLOT(SourceListener, cancelled, source_v1, cancelled);
TUCKSHELF_SAME_SLOT(OfferListener, offer, offer_v1, offer);
#undef TUCKSHELF_SAME_SLOT
static_assert(sizeof(WaylandDataControl::DeviceListener) == sizeof(zwlr_data_control_device_v1_listener) &&
              sizeof(WaylandDataControl::DeviceListener) == sizeof(ext_data_control_device_v1_listener) &&
              sizeof(WaylandDataControl::SourceListener) == sizeof(zwlr_data_control_source_v1_listener) &&
              sizeof(WaylandDataControl::SourceListener) == sizeof(ext_data_control_source_v1_listener) &&
              sizeof(WaylandDataControl::OfferListener) == sizeof(zwlr_data_control_offer_v1_listener) &&
              sizeof(WaylandDataControl::OfferListener) == sizeof(ext_data_control_offer_v1_listener));

void addListener(wl_proxy* proxy, const void* listener, void* data) {
  wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<void*>(listener)), data);
}

}  // namespace

WaylandDataControl::WaylandDataControl(WaylandConnection& connection) : connection_(connection) {
  static const Interfaces ext = {&ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface,
                                 &ext_data_control_source_v1_interface, &ext_data_control_offer_v1_interface};
  static const Interfaces wlr = {&zwlr_data_control_manager_v1_interface, &zwlr_data_control_device_v1_interface,
                                 &zwlr_data_control_source_v1_interface, &zwlr_data_control_offer_v1_interface};
  if (!connection.isValid() || connection.versionOf("wl_seat") == 0) return;
  for (const Interfaces* candidate : {&ext, &wlr}) {
    if (connection.versionOf(candidate->manager->name) == 0) continue;
    interfaces_ = candidate;
    manager_ = static_cast<wl_proxy*>(connection.bind(candidate->manager, candidate->manager->version));
    seat_ = static_cast<wl_proxy*>(connection.bind(&wl_seat_interface, 1));
    return;
  }
  qWarning("tuckshelf: the compositor offers no data-control protocol; the clipboard stays within this program");
}

WaylandDataControl::~WaylandDataControl() {
  if (!manager_) return;
  wl_proxy_marshal_flags(manager_, ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY, nullptr, wl_proxy_get_version(manager_),
                         WL_MARSHAL_FLAG_DESTROY);
  wl_proxy_destroy(seat_);  // version 1 has no release request
  connection_.flush();
}

wl_proxy* WaylandDataControl::createDevice(const DeviceListener* listener, void* data) {
  wl_proxy* device = wl_proxy_marshal_flags(manager_, ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE,
                                            interfaces_->device, wl_proxy_get_version(manager_), 0, nullptr, seat_);
  addListener(device, listener, data);
  return device;
}

wl_proxy* WaylandDataControl::createSource(const SourceListener* listener, void* data) {
  wl_proxy* source = wl_proxy_marshal_flags(manager_, ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE,
                                            interfaces_->source, wl_proxy_get_version(manager_), 0, nullptr);
  addListener(source, listener, data);
  return source;
}

void WaylandDataControl::listen(wl_proxy* offer, const OfferListener* listener, void* data) {
  addListener(offer, listener, data);
}

void WaylandDataControl::setSelection(wl_proxy* device, wl_proxy* source) {
  wl_proxy_marshal_flags(device, ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION, nullptr, wl_proxy_get_version(device), 0,
                         source);
}

void WaylandDataControl::offer(wl_proxy* source, const char* mimeType) {
  wl_proxy_marshal_flags(source, ZWLR_DATA_CONTROL_SOURCE_V1_OFFER, nullptr, wl_proxy_get_version(source), 0,
                         mimeType);
}

void WaylandDataControl::receive(wl_proxy* offer, const char* mimeType, int fd) {
  wl_proxy_marshal_flags(offer, ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE, nullptr, wl_proxy_get_version(offer), 0, mimeType,
                         fd);
}

void WaylandDataControl::destroy(wl_proxy* object) {
  wl_proxy_marshal_flags(object, ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY, nullptr, wl_proxy_get_version(object),
                         WL_MARSHAL_FLAG_DESTROY);
}

WaylandOffer::WaylandOffer(wl_proxy* offer) : offer_(offer) {
  static const WaylandDataControl::OfferListener listener = {
      [](void* data, wl_proxy*, const char* mimeType) {
        static_cast<WaylandOffer*>(data)->mimeTypes_.append(QByteArray(mimeType));
      }};
  WaylandDataControl::listen(offer_, &listener, this);
}

WaylandOffer::~WaylandOffer() { WaylandDataControl::destroy(offer_); }

}  // namespace tuckshelf
