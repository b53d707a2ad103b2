#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/x11/x11_selection_incr_send.h"

namespace tuckshelf {

class X11Connection;
struct X11SelectionAtoms;

// Owns CLIPBOARD for this program and answers other programs' requests
// for it (ICCCM: TARGETS, TIMESTAMP, MULTIPLE and the offered targets,
// large replies in INCR chunks).
class X11SelectionOwner : public QObject {
  Q_OBJECT
 public:
  struct Offer {
    xcb_atom_t target = XCB_ATOM_NONE;
    xcb_atom_t type = XCB_ATOM_NONE;  // what the reply is labelled as
    QByteArray data;
  };

  X11SelectionOwner(X11Connection& connection, const X11SelectionAtoms& atoms);

  // Takes CLIPBOARD at `time` to serve `offers`. False when the server
  // kept another owner, whose change then still needs reading.
  bool own(std::vector<Offer> offers, xcb_timestamp_t time);
  // Another program took CLIPBOARD; replies already under way go on.
  void disown();
  bool owns() const { return owns_; }
  // The request number of the latest own(): events numbered below it
  // were sent before this program took CLIPBOARD.
  std::uint32_t ownSequence() const { return ownSequence_; }

  void handleSelectionRequest(const xcb_selection_request_event_t& event);
  void handlePropertyNotify(const xcb_property_notify_event_t& event);
  // Tells the requestor its request was answered in `property`, or refused
  // (XCB_ATOM_NONE).
  void notify(const xcb_selection_request_event_t& request, xcb_atom_t property);

  // Called when another program is given the contents themselves (a
  // paste), not for probes of the targets on offer; with the window that
  // asked.
  std::function<void(xcb_window_t requestor)> onContentServed;

 private:
  bool serve(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property);
  bool serveMultiple(xcb_window_t requestor, xcb_atom_t property);
  void sendIncrementally(xcb_window_t requestor, xcb_atom_t property, const Offer& offer);
  void replyWithAtoms(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
                      const std::vector<xcb_atom_t>& atoms);
  void dropFinishedSends();

  X11Connection& connection_;
  const X11SelectionAtoms& atoms_;
  // Replies up to this size go in one property write; larger ones in INCR
  // chunks of this size.
  int chunkBytes_;
  std::vector<Offer> offers_;
  xcb_timestamp_t time_ = XCB_CURRENT_TIME;
  bool owns_ = false;
  std::uint32_t ownSequence_ = 0;
  std::vector<std::unique_ptr<X11SelectionIncrSend>> sends_;
  bool sweepQueued_ = false;
};

}  // namespace tuckshelf
