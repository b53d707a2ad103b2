#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

struct wl_interface;
struct wl_proxy;

namespace tuckshelf {

class WaylandConnection;

// The data-control protocol, for reading and setting the clipboard without
// a window: ext-data-control-v1 where the compositor offers it, else
// wlr-data-control-unstable-v1. The two differ only in their interfaces'
// names, so one set of requests and listeners serves both; the interfaces
// are chosen when binding, and every object made here carries the right one.
class WaylandDataControl {
 public:
  struct DeviceListener {
    void (*dataOffer)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*selection)(void* data, wl_proxy* device, wl_proxy* offer);  // offer may be null
    void (*finished)(void* data, wl_proxy* device);
    void (*primarySelection)(void* data, wl_proxy* device, wl_proxy* offer);
  };
  struct SourceListener {
    void (*send)(void* data, wl_proxy* source, const char* mimeType, std::int32_t fd);
    void (*cancelled)(void* data, wl_proxy* source);
  };
  struct OfferListener {
    void (*offer)(void* data, wl_proxy* offer, const char* mimeType);
  };

  // Binds the manager and the first seat; invalid when either is missing.
  explicit WaylandDataControl(WaylandConnection& connection);
  ~WaylandDataControl();
  WaylandDataControl(const WaylandDataControl&) = delete;
  WaylandDataControl& operator=(const WaylandDataControl&) = delete;

  bool isValid() const { return manager_ != nullptr; }
  WaylandConnection& connection() const { return connection_; }

  // The seat's selection device, reporting to `listener`.
  wl_proxy* createDevice(const DeviceListener* listener, void* data);
  // A new source, reporting to `listener`.
  wl_proxy* createSource(const SourceListener* listener, void* data);

  static void listen(wl_proxy* offer, const OfferListener* listener, void* data);
  static void setSelection(wl_proxy* device, wl_proxy* source);  // null source: empty
  static void offer(wl_proxy* source, const char* mimeType);
  // Asks the offer's source to write its `mimeType` contents into `fd`;
  // the caller keeps its own copy of `fd`.
  static void receive(wl_proxy* offer, const char* mimeType, int fd);
  // Destroys a device, source or offer.
  static void destroy(wl_proxy* object);

 private:
  struct Interfaces {
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
    const wl_interface* offer;
  };

  WaylandConnection& connection_;
  const Interfaces* interfaces_ = nullptr;
  wl_proxy* manager_ = nullptr;
  wl_proxy* seat_ = nullptr;
};

// An offer the compositor announced, with its types as they come in;
// destroyed with this object.
class WaylandOffer {
 public:
  explicit WaylandOffer(wl_proxy* offer);
  ~WaylandOffer();
  WaylandOffer(const WaylandOffer&) = delete;
  WaylandOffer& operator=(const WaylandOffer&) = delete;

  wl_proxy* get() const { return offer_; }
  const QList<QByteArray>& mimeTypes() const { return mimeTypes_; }
  bool offers(const QByteArray& mimeType) const { return mimeTypes_.contains(mimeType); }

 private:
  wl_proxy* offer_;
  QList<QByteArray> mimeTypes_;
};

}  // namespace tuckshelf
