#include "platform/x11/x11_selection_transfer.h"

#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_connection.h"

namespace tuckshelf {

X11SelectionTransfer::X11SelectionTransfer(X11Connection& connection,
                                           const X11SelectionAtoms& atoms, xcb_window_t window,
                                           std::chrono::milliseconds answerTimeout,
                                           std::chrono::milliseconds stepTimeout,
                                           qsizetype maxBytes, std::function<void(Result)> onDone)
    : connection_(connection),
      atoms_(atoms),
      window_(window),
      defaultMaxBytes_(maxBytes),
      maxBytes_(maxBytes),
      onDone_(std::move(onDone)),
      answerTimeout_(answerTimeout),
      stepTimeout_(stepTimeout) {
  stepTimer_.setSingleShot(true);
  QObject::connect(&stepTimer_, &QTimer::timeout, [this] { fail("the owner did not answer"); });
}

void X11SelectionTransfer::start(xcb_atom_t target, xcb_timestamp_t time, qsizetype maxBytes) {
  target_ = target;
  maxBytes_ = maxBytes < 0 ? defaultMaxBytes_ : maxBytes;
  incoming_ = {};
  state_ = State::AwaitingNotify;
  xcb_convert_selection(connection_.get(), window_, atoms_.clipboard, target, atoms_.replyProperty,
                        time);
  connection_.flushSoon();
  stepTimer_.start(answerTimeout_);
}

void X11SelectionTransfer::cancel() {
  stepTimer_.stop();
  state_ = State::Idle;
}

void X11SelectionTransfer::handleSelectionNotify(const xcb_selection_notify_event_t& event) {
  // The window belongs to one change and its earlier requests were all
  // answered, so the target alone tells this reply apart. The time is not
  // compared: some owners do not echo it.
  if (state_ != State::AwaitingNotify || event.requestor != window_ ||
      event.selection != atoms_.clipboard || event.target != target_)
    return;
  if (event.property == XCB_ATOM_NONE) {
    finish({Outcome::Refused, XCB_ATOM_NONE, {}});
    return;
  }
  readReply();
}

void X11SelectionTransfer::handlePropertyNotify(const xcb_property_notify_event_t& event) {
  if (state_ == State::AwaitingChunk && event.window == window_ &&
      event.atom == atoms_.replyProperty && event.state == XCB_PROPERTY_NEW_VALUE)
    readChunk();
}

void X11SelectionTransfer::readReply() {
  xcb_connection_t* c = connection_.get();
  // The cap in 32-bit units, plus one: anything larger than the cap then
  // shows as bytes left over instead of being read whole.
  const std::uint32_t words = std::uint32_t(maxBytes_ / 4 + 1);
  XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c,
      xcb_get_property(c, true, window_, atoms_.replyProperty, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
      nullptr));
  connection_.flushSoon();
  if (!reply || reply->type == XCB_ATOM_NONE) {
    finish({Outcome::Refused, XCB_ATOM_NONE, {}});
    return;
  }
  const int length = xcb_get_property_value_length(reply.get());
  // The read asks for up to a word more than the cap: both a remainder and
  // those last bytes mean too much.
  if (reply->bytes_after > 0 || length > maxBytes_) {
    xcb_delete_property(c, window_, atoms_.replyProperty);
    fail("the contents exceed the size limit");
    return;
  }
  const char* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
  if (reply->type == atoms_.incr) {
    // Deleting the INCR property (done by the read) asks for the first chunk.
    if (reply->format == 32 && length >= 4) {
      const std::uint32_t announced = *reinterpret_cast<const std::uint32_t*>(value);
      if (qint64(announced) > maxBytes_) {
        fail("the announced contents exceed the size limit");
        return;
      }
    }
    state_ = State::AwaitingChunk;
    stepTimer_.start(stepTimeout_);
    return;
  }
  finish({Outcome::Received, reply->type, QByteArray(value, length), reply->format});
}

void X11SelectionTransfer::readChunk() {
  xcb_connection_t* c = connection_.get();
  const qsizetype room = maxBytes_ - incoming_.data.size();
  const std::uint32_t words = std::uint32_t(room / 4 + 1);
  XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c,
      xcb_get_property(c, true, window_, atoms_.replyProperty, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
      nullptr));
  connection_.flushSoon();
  if (!reply) {
    fail("the server went away");
    return;
  }
  if (reply->type == XCB_ATOM_NONE) return;  // already taken; wait for the next chunk
  const int length = xcb_get_property_value_length(reply.get());
  if (reply->bytes_after > 0 || length > room) {
    xcb_delete_property(c, window_, atoms_.replyProperty);
    fail("the contents exceed the size limit");
    return;
  }
  if (length == 0) {  // the empty chunk ends the transfer
    incoming_.outcome = Outcome::Received;
    incoming_.type = reply->type;
    incoming_.data.squeeze();  // kept for long: without the room its growth left
    finish(std::move(incoming_));
    return;
  }
  incoming_.data.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
  incoming_.format = reply->format;
  stepTimer_.start(stepTimeout_);
}

void X11SelectionTransfer::fail(const char* why) {
  qCDebug(lcClipboard) << "reading the clipboard failed:" << why;
  finish({Outcome::Failed, XCB_ATOM_NONE, {}});
}

void X11SelectionTransfer::finish(Result result) {
  stepTimer_.stop();
  state_ = State::Idle;
  // Last: the callback may start another transfer on this object.
  onDone_(std::move(result));
}

}  // namespace tuckshelf
