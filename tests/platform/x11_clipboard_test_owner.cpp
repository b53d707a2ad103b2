#include "x11_clipboard_test_owner.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace tuckshelf::pasteboard_test {

TestClipboardOwner::TestClipboardOwner(std::initializer_list<Target> targets)
    : targets_(targets),
      notifier_(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(client_.connection()),
                                                  QSocketNotifier::Read)) {
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { handleEvents(); });
}

void TestClipboardOwner::takeClipboard() {
  xcb_set_selection_owner(client_.connection(), client_.window(), client_.atom("CLIPBOARD"),
                          XCB_CURRENT_TIME);
  // A round trip: the request is then surely through.
  client_.clipboardOwner();
  handleEvents();  // the reply's wait may have queued events
}

void TestClipboardOwner::answerHeldRequests() {
  held_.clear();
  for (const auto& request : std::exchange(waiting_, {})) answer(request);
  xcb_flush(client_.connection());
}

void TestClipboardOwner::handleEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(client_.connection())) {
    if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
      const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
      const QByteArray target = client_.atomName(request.target);
      ++requests_[target];
      if (held_.contains(target))
        waiting_.push_back(request);
      else
        answer(request);
    }
    std::free(event);
  }
  xcb_flush(client_.connection());
}

void TestClipboardOwner::answer(const xcb_selection_request_event_t& request) {
  xcb_connection_t* c = client_.connection();
  const QByteArray target = client_.atomName(request.target);

  xcb_atom_t property = XCB_ATOM_NONE;
  if (target == "TARGETS") {
    std::vector<xcb_atom_t> atoms = {request.target};
    for (const Target& t : targets_) atoms.push_back(client_.atom(t.name));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                        XCB_ATOM_ATOM, 32, std::uint32_t(atoms.size()), atoms.data());
    property = request.property;
  }
  for (const Target& t : targets_) {
    if (t.name != target) continue;
    const xcb_atom_t type = client_.atom(t.type.isEmpty() ? t.name : t.type);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, 8,
                        std::uint32_t(t.data.size()), t.data.constData());
    property = request.property;
  }
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = property;
  char wire[32] = {};
  std::memcpy(wire, &notify, sizeof notify);
  xcb_send_event(c, false, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
}

}  // namespace tuckshelf::pasteboard_test
