#include "x11_test_clients.h"

#include <QBuffer>
#include <cstdlib>
#include <cstring>

#include "event_loop_wait.h"

namespace tuckshelf::x11test {

TestOwner::TestOwner(std::vector<Target> targets)
    : c_(xcb_connect(nullptr, nullptr)), window_(xcb_generate_id(c_)), targets_(std::move(targets)) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, 0, nullptr);
  for (const QByteArray& name : {QByteArray("TARGETS"), QByteArray("CLIPBOARD")}) names_[atom(name)] = name;
  for (const Target& t : targets_) names_[atom(t.name)] = t.name;
  notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { handleEvents(); });
}

TestOwner::~TestOwner() { notifier_.reset(), xcb_disconnect(c_); }

xcb_atom_t TestOwner::atom(const QByteArray& name) const {
  auto* reply = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, false, name.size(), name.data()), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

void TestOwner::own(xcb_window_t window) {
  xcb_set_selection_owner(c_, window, names_.key("CLIPBOARD"), XCB_CURRENT_TIME);
  atom("CLIPBOARD");  // a round trip: the request is then surely through
  handleEvents();     // the reply's wait may have queued events
}

void TestOwner::answerHeld() {
  held_.clear();
  for (const auto& request : std::exchange(waiting_, {})) answer(request);
  xcb_flush(c_);
}

void TestOwner::handleEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
    const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
    std::free(event);
    if ((request.response_type & 0x7f) != XCB_SELECTION_REQUEST) continue;
    const QByteArray target = names_.value(request.target, "(other)");
    ++requests_[target], held_.contains(target) ? waiting_.push_back(request) : answer(request);
  }
  xcb_flush(c_);
}

void TestOwner::answer(const xcb_selection_request_event_t& request) {
  xcb_selection_notify_event_t notify{XCB_SELECTION_NOTIFY, 0, 0, request.time, request.requestor,
                                      request.selection, request.target, request.property};
  std::vector<xcb_atom_t> offered = {names_.key("TARGETS")};
  for (const Target& t : targets_) offered.push_back(names_.key(t.name));
  const auto target =
      std::find_if(targets_.begin(), targets_.end(), [&](auto& t) { return names_.key(t.name) == request.target; });
  if (request.target == offered.front())
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, XCB_ATOM_ATOM, 32,
                        std::uint32_t(offered.size()), offered.data());
  else if (target != targets_.end())
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, request.target, 8,
                        std::uint32_t(target->data.size()), target->data.constData());
  else
    notify.property = XCB_ATOM_NONE;
  char wire[32] = {};
  std::memcpy(wire, &notify, sizeof notify);
  xcb_send_event(c_, false, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
}

std::optional<QByteArray> xclipPaste(const QByteArray& target) {
  QProcess xclip;
  QByteArray output;
  QObject::connect(&xclip, &QProcess::readyReadStandardOutput, [&] { output += xclip.readAllStandardOutput(); });
  xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", QString::fromUtf8(target)});
  const bool finished = pumpUntil([&] { return xclip.state() == QProcess::NotRunning; });
  output += xclip.readAllStandardOutput();
  if (finished && xclip.exitStatus() == QProcess::NormalExit && xclip.exitCode() == 0) return output;
  return std::nullopt;
}

QByteArray encoded(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  return image.save(&buffer, "PNG"), bytes;
}

TestWindowManager::TestWindowManager() : c_(xcb_connect(nullptr, nullptr)) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  root_ = screen->root, check_ = xcb_generate_id(c_), reader_ = xcb_generate_id(c_);
  for (xcb_window_t w : {check_, reader_})
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
  xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 32, 1,
                      &check_);
  atom("CLIPBOARD");  // a round trip: all of the above is through
}

TestWindowManager::~TestWindowManager() {
  xcb_delete_property(c_, root_, atom("_NET_SUPPORTING_WM_CHECK"));
  xcb_disconnect(c_);
}

xcb_atom_t TestWindowManager::atom(const char* name) {
  auto* reply = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, false, std::strlen(name), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

std::optional<QByteArray> TestWindowManager::paste(const QByteArray& target) {
  const xcb_atom_t property = atom("TUCKSHELF_TEST_PASTE");
  xcb_convert_selection(c_, reader_, atom("CLIPBOARD"), atom(target.constData()), property, XCB_CURRENT_TIME);
  xcb_flush(c_);
  bool notified = false, refused = false;
  pumpUntil([&] {  // the owner may be this process
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
      if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
        notified = true;
        refused = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property == XCB_ATOM_NONE;
      }
      std::free(event);
    }
    return notified;
  });
  if (!notified || refused) return std::nullopt;
  auto* reply = xcb_get_property_reply(
      c_, xcb_get_property(c_, true, reader_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20), nullptr);
  std::optional<QByteArray> data;
  if (reply) data = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
  std::free(reply);
  return data;
}

}  // namespace tuckshelf::x11test
