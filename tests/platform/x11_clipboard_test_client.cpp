#include "x11_clipboard_test_client.h"

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "x11_clipboard_test_support.h"

namespace tuckshelf::pasteboard_test {
namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* reply) {
  return {reply, &std::free};
}

}  // namespace

TestXClient::TestXClient() : connection_(xcb_connect(nullptr, nullptr)) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  window_ = xcb_generate_id(connection_);
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_flush(connection_);
}

TestXClient::~TestXClient() { xcb_disconnect(connection_); }

xcb_atom_t TestXClient::atom(const QByteArray& name) const {
  auto reply = owned(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, false, name.size(), name.constData()), nullptr));
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray TestXClient::atomName(xcb_atom_t atom) const {
  auto reply =
      owned(xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr));
  if (!reply) return {};
  return QByteArray(xcb_get_atom_name_name(reply.get()),
                    xcb_get_atom_name_name_length(reply.get()));
}

xcb_window_t TestXClient::clipboardOwner() const {
  auto reply = owned(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, atom("CLIPBOARD")), nullptr));
  return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

std::optional<xcb_atom_t> TestXClient::convertInto(xcb_atom_t target, xcb_atom_t property) {
  xcb_convert_selection(connection_, window_, atom("CLIPBOARD"), target, property,
                        XCB_CURRENT_TIME);
  xcb_flush(connection_);
  std::optional<xcb_atom_t> answer;
  bool answered = false;
  pumpUntil(
      [&] {
        while (auto event = owned(xcb_poll_for_event(connection_))) {
          if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
          const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
          if (notify->target != target) continue;
          answered = true;
          if (notify->property != XCB_ATOM_NONE) answer = notify->property;
        }
        return answered;
      },
      std::chrono::seconds(5));
  return answer;
}

std::optional<TestXClient::Reply> TestXClient::takeProperty(xcb_atom_t property) {
  auto reply = owned(xcb_get_property_reply(
      connection_,
      xcb_get_property(connection_, true, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
      nullptr));
  if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
  const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
  return Reply{atomName(reply->type),
               QByteArray(value, xcb_get_property_value_length(reply.get()))};
}

std::optional<TestXClient::Reply> TestXClient::convert(const QByteArray& target) {
  const auto property = convertInto(atom(target), atom("TEST_REPLY"));
  if (!property) return std::nullopt;
  return takeProperty(*property);
}

std::vector<std::optional<TestXClient::Reply>> TestXClient::convertMultiple(
    const std::vector<QByteArray>& targets) {
  std::vector<xcb_atom_t> pairs;
  for (size_t i = 0; i < targets.size(); ++i) {
    pairs.push_back(atom(targets[i]));
    pairs.push_back(atom("TEST_REPLY_" + QByteArray::number(qulonglong(i))));
  }
  const xcb_atom_t list = atom("TEST_MULTIPLE");
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, list, atom("ATOM_PAIR"), 32,
                      std::uint32_t(pairs.size()), pairs.data());
  std::vector<std::optional<Reply>> replies(targets.size());
  if (!convertInto(atom("MULTIPLE"), list)) return replies;
  const std::optional<Reply> answered = takeProperty(list);
  if (!answered || answered->data.size() != qsizetype(pairs.size() * sizeof(xcb_atom_t)))
    return replies;
  std::memcpy(pairs.data(), answered->data.constData(), answered->data.size());
  for (size_t i = 0; i < targets.size(); ++i)
    if (pairs[2 * i + 1] != XCB_ATOM_NONE) replies[i] = takeProperty(pairs[2 * i + 1]);
  return replies;
}

}  // namespace tuckshelf::pasteboard_test
