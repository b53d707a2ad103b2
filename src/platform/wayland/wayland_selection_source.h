#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <vector>

struct wl_proxy;

namespace tuckshelf {

class WaylandDataControl;

// This program's contents on offer as the clipboard: a data-control
// source answering each request from the event loop. Writes under way go
// on after it is destroyed.
class WaylandSelectionSource {
 public:
  struct Offer {
    QByteArray mimeType;
    QByteArray data;
  };

  // Writes go with `writers` at the latest.
  WaylandSelectionSource(WaylandDataControl& dataControl, std::vector<Offer> offers, QObject* writers);
  ~WaylandSelectionSource();
  WaylandSelectionSource(const WaylandSelectionSource&) = delete;
  WaylandSelectionSource& operator=(const WaylandSelectionSource&) = delete;

  wl_proxy* get() const { return source_; }

  // Called after each request is under way, with its type; may destroy this.
  std::function<void(const QByteArray& mimeType)> onRequest;
  // The compositor replaced this source by another, or by nothing; may destroy this.
  std::function<void()> onCancelled;

 private:
  static void send(void* data, wl_proxy*, const char* mimeType, std::int32_t fd);
  static void cancelled(void* data, wl_proxy*);

  wl_proxy* source_;
  std::vector<Offer> offers_;
  QObject* writers_;
};

}  // namespace tuckshelf
