#include "platform/x11/x11_instance_guard.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDebug>

#include "platform/x11/x11_selection_atoms.h"

namespace tuckshelf {
namespace {

constexpr std::chrono::milliseconds kQuitGrace{2000};

xcb_atom_t selectionFor(xcb_connection_t* c, int screen) {
  return internAtom(c, "_TUCKSHELF_S" + QByteArray::number(screen));
}

xcb_atom_t commandAtom(xcb_connection_t* c, RemoteCommand command) {
  switch (command) {
    case RemoteCommand::quit:
      return internAtom(c, "_TUCKSHELF_QUIT");
    case RemoteCommand::clear:
      return internAtom(c, "_TUCKSHELF_CLEAR");
    case RemoteCommand::open:
      return internAtom(c, "_TUCKSHELF_OPEN");
  }
  return XCB_ATOM_NONE;
}

// Asks for the window's destruction to be reported; false when it is gone.
bool watchDestruction(xcb_connection_t* c, xcb_window_t window) {
  const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  XcbPtr<xcb_generic_error_t> error(
      xcb_request_check(c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &mask)));
  return !error;
}

bool isDestroyNotify(const xcb_generic_event_t& event, xcb_window_t window) {
  return (event.response_type & 0x7f) == XCB_DESTROY_NOTIFY &&
         reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == window;
}

std::optional<std::int64_t> pidOf(xcb_connection_t* c, xcb_window_t window) {
  const xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID");
  XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, false, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4) return std::nullopt;
  return *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
}

void sendClientMessage(xcb_connection_t* c, xcb_window_t to, xcb_atom_t type, std::array<uint32_t, 5> data,
                       uint32_t mask) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = to;
  message.type = type;
  std::copy(data.begin(), data.end(), message.data.data32);
  xcb_send_event(c, false, to, mask, reinterpret_cast<const char*>(&message));
}

}  // namespace

X11InstanceGuard::X11InstanceGuard(std::shared_ptr<X11Connection> connection, ProcessTable& processes,
                                   std::function<void()> claimed)
    : connection_(std::move(connection)), processes_(processes), claimed_(std::move(claimed)) {}

X11InstanceGuard::~X11InstanceGuard() {
  if (window_ == XCB_WINDOW_NONE || !connection_->isValid()) return;
  xcb_destroy_window(connection_->get(), window_);
  xcb_flush(connection_->get());
}

void X11InstanceGuard::setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void X11InstanceGuard::claim() {
  if (!connection_->isValid()) return;
  xcb_connection_t* c = connection_->get();
  selection_ = selectionFor(c, connection_->screenNumber());
  quitAtom_ = commandAtom(c, RemoteCommand::quit);
  clearAtom_ = commandAtom(c, RemoteCommand::clear);
  openAtom_ = commandAtom(c, RemoteCommand::open);

  window_ = xcb_generate_id(c);
  const uint32_t overrideRedirect = 1;
  xcb_create_window(c, 0, window_, connection_->root(), -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
  const uint32_t pid = uint32_t(::getpid());
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, internAtom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                      &pid);
  eventHandler_ = connection_->addEventHandler([this](const xcb_generic_event_t& e) { handleEvent(e); });

  const xcb_window_t previous = selectionOwner(c, selection_);
  const bool previousAlive = previous != XCB_WINDOW_NONE && watchDestruction(c, previous);
  const xcb_timestamp_t time = connection_->serverTime(std::chrono::milliseconds(200));
  xcb_set_selection_owner(c, window_, selection_, time);
  if (selectionOwner(c, selection_) != window_)
    qWarning("tuckshelf: another copy is starting on this display at the same moment");
  if (previousAlive) waitForEarlierCopy(previous);

  // ICCCM: announce the new manager to whoever cares.
  sendClientMessage(c, connection_->root(), internAtom(c, "MANAGER"), {time, selection_, window_, 0, 0},
                    XCB_EVENT_MASK_STRUCTURE_NOTIFY);
  xcb_flush(c);
  if (claimed_) claimed_();
}

void X11InstanceGuard::waitForEarlierCopy(xcb_window_t previous) {
  xcb_connection_t* c = connection_->get();
  const std::optional<std::int64_t> pid = pidOf(c, previous);
  if (connection_->waitForEvent([previous](const auto& e) { return isDestroyNotify(e, previous); }, kQuitGrace))
    return;
  // It did not quit in time: end it, if the pid is still that program's.
  if (pid) {
    qWarning("tuckshelf: the copy already running (pid %lld) did not quit; ending it", static_cast<long long>(*pid));
    processes_.kill(ProcessEntry{*pid, processes_.self().identifier});
  }
}

void X11InstanceGuard::handleEvent(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7f) {
    case XCB_SELECTION_CLEAR: {
      const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
      if (clear.selection == selection_ && clear.owner == window_) quit();
      return;
    }
    case XCB_CLIENT_MESSAGE: {
      const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
      if (message.window != window_ || message.format != 32) return;
      if (message.type == quitAtom_) quit();
      if (message.type == clearAtom_ && handlers_.clear) handlers_.clear();
      if (message.type == openAtom_ && handlers_.open) handlers_.open();
      return;
    }
  }
}

void X11InstanceGuard::quit() {
  if (quitRequested_) return;
  quitRequested_ = true;
  if (handlers_.quitting) handlers_.quitting();
  QCoreApplication::quit();
}

RemoteOutcome X11InstanceGuard::send(RemoteCommand command) {
  if (!X11Connection::reachable()) return RemoteOutcome::noRunningCopy;
  X11Connection connection;
  xcb_connection_t* c = connection.get();
  const xcb_window_t running = selectionOwner(c, selectionFor(c, connection.screenNumber()));
  if (running == XCB_WINDOW_NONE) return RemoteOutcome::noRunningCopy;
  const bool watched = command == RemoteCommand::quit && watchDestruction(c, running);
  sendClientMessage(c, running, commandAtom(c, command), {0, 0, 0, 0, 0}, 0);
  if (watched)
    connection.waitForEvent([running](const auto& e) { return isDestroyNotify(e, running); },
                            kQuitGrace + std::chrono::milliseconds(1000));
  else
    XcbPtr<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return RemoteOutcome::done;
}

}  // namespace tuckshelf
