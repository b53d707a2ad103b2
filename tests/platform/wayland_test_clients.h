#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_data_control.h"

namespace tuckshelf::wltest {

// Another program copying through data-control on a connection of its own,
// serving fixed types: what wl-copy cannot do, several types at once,
// counting the requests, leaving some unanswered, dying halfway.
class TestSource {
 public:
  struct Target { QByteArray mimeType, data; };
  explicit TestSource(std::vector<Target> targets);
  ~TestSource();  // the program quits

  // These return once the compositor has made this, or no one, the source.
  void takeClipboard();
  void emptyClipboard();
  // Requests for `mimeType` are counted but never answered.
  void hold(const QByteArray& mimeType) { held_.append(mimeType); }
  // Requests for `mimeType` get half their data, and the program quits.
  void dieHalfwayThrough(const QByteArray& mimeType) { dying_ = mimeType; }
  int requestsFor(const QByteArray& mimeType) const { return requests_.value(mimeType); }

 private:
  static void send(void* data, wl_proxy*, const char* mimeType, std::int32_t fd);
  void setSelection(wl_proxy* source);
  void quit();

  std::vector<Target> targets_;
  std::unique_ptr<WaylandConnection> connection_;
  std::unique_ptr<WaylandDataControl> dataControl_;
  wl_proxy* device_ = nullptr;
  wl_proxy* source_ = nullptr;
  QObject writers_;
  QList<QByteArray> held_;
  QByteArray dying_;
  std::vector<int> heldFds_;
  QMap<QByteArray, int> requests_;
};

// What `wl-paste` prints for a paste as `mimeType`; none when it fails. The
// event loop runs meanwhile: the source may be this process.
std::optional<QByteArray> wlPaste(const QByteArray& mimeType = "text/plain;charset=utf-8");
// The types on offer, as `wl-paste --list-types` asks for them.
std::optional<QByteArray> wlPasteTypes();

}  // namespace tuckshelf::wltest
