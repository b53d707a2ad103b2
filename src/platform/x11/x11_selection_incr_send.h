#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QTimer>
#include <functional>

namespace tuckshelf {

class X11Connection;

// Hands one large reply to a requestor in chunks (ICCCM INCR): each time
// the requestor deletes the property, the next chunk goes in, and an
// empty chunk ends it. A requestor that stops reading is given up on.
class X11SelectionIncrSend {
 public:
  X11SelectionIncrSend(X11Connection& connection, xcb_window_t requestor,
                       xcb_atom_t property, xcb_atom_t type, QByteArray data, int chunkBytes,
                       std::function<void()> onDone);

  xcb_window_t requestor() const { return requestor_; }
  xcb_atom_t property() const { return property_; }
  // A deletion of the property: the requestor has read the last chunk.
  void handlePropertyDeleted();
  // Stops sending; the requestor asked for the same property again.
  void abandon() {
    if (!done_) finish();
  }
  // Ended or given up; `onDone` has been called and this can go.
  bool isDone() const { return done_; }

 private:
  void finish();

  X11Connection& connection_;
  xcb_window_t requestor_;
  xcb_atom_t property_;
  xcb_atom_t type_;
  QByteArray data_;
  int chunkBytes_;
  qsizetype sent_ = 0;
  bool endSent_ = false;
  bool done_ = false;
  QTimer deadline_;
  std::function<void()> onDone_;
};

}  // namespace tuckshelf
