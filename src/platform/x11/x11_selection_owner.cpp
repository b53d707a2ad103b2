#include "platform/x11/x11_selection_owner.h"

#include <algorithm>
#include <cstring>

#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_connection.h"

namespace tuckshelf {
namespace {

// Room for a ChangeProperty request's own header.
constexpr int kRequestMargin = 1024;
// The core protocol's largest request is 256 KiB; keeping chunks within it
// serves requestors on servers without BIG-REQUESTS and keeps each write short.
constexpr int kLargestChunk = 256 * 1024;

int chunkBytesFor(xcb_connection_t* connection) {
  const std::uint64_t serverBytes = std::uint64_t(xcb_get_maximum_request_length(connection)) * 4;
  if (serverBytes <= std::uint64_t(kRequestMargin) * 2) return kRequestMargin;
  return int(std::min<std::uint64_t>(serverBytes - kRequestMargin, kLargestChunk));
}

}  // namespace

X11SelectionOwner::X11SelectionOwner(X11Connection& connection,
                                     const X11SelectionAtoms& atoms)
    : connection_(connection), atoms_(atoms), chunkBytes_(chunkBytesFor(connection.get())) {}

bool X11SelectionOwner::own(std::vector<Offer> offers, xcb_timestamp_t time) {
  xcb_connection_t* c = connection_.get();
  offers_ = std::move(offers);
  time_ = time;
  ownSequence_ = xcb_set_selection_owner(c, connection_.window(), atoms_.clipboard, time).sequence;
  // The server ignores the request when another program took CLIPBOARD
  // after `time`; ask rather than assume.
  owns_ = selectionOwner(c, atoms_.clipboard) == connection_.window();
  connection_.flushSoon();
  if (!owns_) offers_.clear();
  return owns_;
}

void X11SelectionOwner::disown() {
  owns_ = false;
  offers_.clear();
}

void X11SelectionOwner::handleSelectionRequest(const xcb_selection_request_event_t& event) {
  // Requestors from before ICCCM 2.0 leave the property out.
  const xcb_atom_t property = event.property == XCB_ATOM_NONE ? event.target : event.property;
  const bool ours = owns_ && event.owner == connection_.window() &&
                    event.selection == atoms_.clipboard &&
                    (event.time == XCB_CURRENT_TIME || time_ == XCB_CURRENT_TIME ||
                     !isEarlier(event.time, time_));
  bool served = false;
  if (ours && event.target == atoms_.multiple)
    served = event.property != XCB_ATOM_NONE && serveMultiple(event.requestor, event.property);
  else if (ours)
    served = serve(event.requestor, event.target, property);
  notify(event, served ? property : xcb_atom_t(XCB_ATOM_NONE));
}

bool X11SelectionOwner::serve(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property) {
  if (target == atoms_.targets) {
    std::vector<xcb_atom_t> targets = {atoms_.targets, atoms_.multiple, atoms_.timestamp};
    for (const Offer& offer : offers_) targets.push_back(offer.target);
    replyWithAtoms(requestor, property, XCB_ATOM_ATOM, targets);
    return true;
  }
  if (target == atoms_.timestamp) {
    replyWithAtoms(requestor, property, XCB_ATOM_INTEGER, {time_});
    return true;
  }
  const auto offer = std::find_if(offers_.begin(), offers_.end(),
                                  [target](const Offer& o) { return o.target == target; });
  if (offer == offers_.end()) return false;
  if (onContentServed) onContentServed(requestor);
  if (offer->data.size() > chunkBytes_) {
    sendIncrementally(requestor, property, *offer);
  } else {
    xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, requestor, property, offer->type,
                        8, std::uint32_t(offer->data.size()), offer->data.constData());
  }
  return true;
}

bool X11SelectionOwner::serveMultiple(xcb_window_t requestor, xcb_atom_t property) {
  xcb_connection_t* c = connection_.get();
  // At most a few hundred pairs are plausible; more are not read.
  XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, false, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
      nullptr));
  if (!reply || reply->format != 32) return false;
  std::vector<xcb_atom_t> pairs(xcb_get_property_value_length(reply.get()) / sizeof(xcb_atom_t));
  std::memcpy(pairs.data(), xcb_get_property_value(reply.get()), pairs.size() * sizeof(xcb_atom_t));
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    const xcb_atom_t target = pairs[i];
    const xcb_atom_t pairProperty = pairs[i + 1];
    if (target == atoms_.multiple || pairProperty == XCB_ATOM_NONE ||
        !serve(requestor, target, pairProperty))
      pairs[i + 1] = XCB_ATOM_NONE;  // tells the requestor this one failed
  }
  replyWithAtoms(requestor, property, atoms_.atomPair, pairs);
  return true;
}

void X11SelectionOwner::sendIncrementally(xcb_window_t requestor, xcb_atom_t property,
                                          const Offer& offer) {
  xcb_connection_t* c = connection_.get();
  // The requestor's deletions of the property pace the chunks.
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c, requestor, XCB_CW_EVENT_MASK, &mask);
  const std::uint32_t size = std::uint32_t(offer.data.size());
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, atoms_.incr, 32, 1, &size);
  for (auto& send : sends_)  // a repeated request replaces the earlier one
    if (send->requestor() == requestor && send->property() == property) send->abandon();
  sends_.push_back(std::make_unique<X11SelectionIncrSend>(
      connection_, requestor, property, offer.type, offer.data, chunkBytes_, [this] {
        if (sweepQueued_) return;
        sweepQueued_ = true;
        QMetaObject::invokeMethod(this, &X11SelectionOwner::dropFinishedSends,
                                  Qt::QueuedConnection);
      }));
}

void X11SelectionOwner::handlePropertyNotify(const xcb_property_notify_event_t& event) {
  if (event.state != XCB_PROPERTY_DELETE) return;
  for (auto& send : sends_)
    if (!send->isDone() && send->requestor() == event.window && send->property() == event.atom)
      return send->handlePropertyDeleted();
}

void X11SelectionOwner::replyWithAtoms(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
                                       const std::vector<xcb_atom_t>& atoms) {
  xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, requestor, property, type, 32,
                      std::uint32_t(atoms.size()), atoms.data());
}

void X11SelectionOwner::notify(const xcb_selection_request_event_t& request, xcb_atom_t property) {
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = property;
  // SendEvent always carries 32 bytes, more than this event's struct.
  char wire[32] = {};
  static_assert(sizeof notify <= sizeof wire);
  std::memcpy(wire, &notify, sizeof notify);
  xcb_send_event(connection_.get(), false, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
  connection_.flushSoon();
}

void X11SelectionOwner::dropFinishedSends() {
  sweepQueued_ = false;
  std::vector<xcb_window_t> finished;
  for (const auto& send : sends_)
    if (send->isDone()) finished.push_back(send->requestor());
  std::erase_if(sends_, [](const auto& send) { return send->isDone(); });
  // Stop hearing about requestors no longer being served.
  const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
  for (xcb_window_t requestor : finished) {
    const bool stillServed = std::any_of(
        sends_.begin(), sends_.end(), [&](const auto& s) { return s->requestor() == requestor; });
    if (!stillServed)
      xcb_change_window_attributes(connection_.get(), requestor, XCB_CW_EVENT_MASK, &none);
  }
  connection_.flushSoon();
}

}  // namespace tuckshelf
