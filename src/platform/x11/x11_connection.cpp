#include "platform/x11/x11_connection.h"

#include <QScreen>

#include <poll.h>
#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <cstdlib>

#include "platform/x11/x11_selection_atoms.h"

namespace tuckshelf {

Q_LOGGING_CATEGORY(lcClipboard, "tuckshelf.clipboard", QtWarningMsg)

void XcbFree::operator()(void* p) const { std::free(p); }

X11Connection::X11Connection(const QByteArray& displayName) {
  int screenNumber = 0;
  connection_ = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    qCWarning(lcClipboard) << "cannot connect to the X server; the clipboard stays empty and paste keys go unseen";
    return;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem > 0) root_ = screens.data->root;
  screenNumber_ = screenNumber;
  window_ = createWindow();
  timestampProperty_ = internAtom(connection_, "TUCKSHELF_TIMESTAMP");
  setUpXfixes();

  // The command line talks to a running copy without an event loop.
  if (!QCoreApplication::instance()) return;
  notifier_ =
      new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
  flushSoon();
}

X11Connection::~X11Connection() {
  held_.clear();
  xcb_disconnect(connection_);  // accepts a connection in error
}

X11Connection::HandlerToken X11Connection::addEventHandler(EventHandler handler) {
  auto token = std::make_shared<EventHandler>(std::move(handler));
  handlers_.push_back(token);
  return token;
}

void X11Connection::dispatch(const xcb_generic_event_t& event) {
  std::erase_if(handlers_, [](const auto& h) { return h.expired(); });
  // A handler may add another, or drop its own or another's token.
  const auto handlers = handlers_;
  for (const auto& weak : handlers)
    if (const auto handler = weak.lock()) (*handler)(event);
}

xcb_connection_t* qtXcbConnection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

bool qtRunsOnXwayland() {
  // Xwayland 23.1 and later say so in an extension of their own, and may
  // name their outputs after the compositor's (GNOME 50: "Meta-0").
  static xcb_extension_t xwayland = {"XWAYLAND", 0};
  xcb_connection_t* c = qtXcbConnection();
  if (const xcb_query_extension_reply_t* reply = c ? xcb_get_extension_data(c, &xwayland) : nullptr)
    if (reply->present) return true;
  const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  return screen && screen->name().startsWith(QLatin1String("XWAYLAND"));
}

bool X11Connection::reachable(const QByteArray& displayName) {
  if (displayName.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY")) return false;
  xcb_connection_t* c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
  const bool ok = xcb_connection_has_error(c) == 0;
  xcb_disconnect(c);
  return ok;
}

bool X11Connection::isValid() const { return !xcb_connection_has_error(connection_); }

void X11Connection::setUpXfixes() {
  const xcb_query_extension_reply_t* extension =
      xcb_get_extension_data(connection_, &xcb_xfixes_id);
  if (!extension || !extension->present) {
    qCWarning(lcClipboard) << "the X server lacks XFixes; clipboard changes go unnoticed";
    return;
  }
  // XFixes answers nothing until the client has stated its version.
  XcbPtr<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
      connection_, xcb_xfixes_query_version(connection_, 1, 0), nullptr));
  if (version) xfixesFirstEvent_ = extension->first_event;
}

xcb_window_t X11Connection::createWindow() {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  const xcb_window_t window = xcb_generate_id(connection_);
  const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, -10, -10, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
  return window;
}

void X11Connection::flushSoon() {
  xcb_flush(connection_);
  if (drainQueued_) return;
  drainQueued_ = true;
  QMetaObject::invokeMethod(this, &X11Connection::drain, Qt::QueuedConnection);
}

void X11Connection::drain() {
  // A handler may drop the last owner of this connection (its service
  // destroyed from inside a callback); finish the drain first.
  const std::shared_ptr<X11Connection> keep = weak_from_this().lock();
  drainQueued_ = false;
  for (;;) {
    XcbPtr<xcb_generic_event_t> event;
    if (!held_.empty()) {
      event = std::move(held_.front());
      held_.pop_front();
    } else {
      event.reset(xcb_poll_for_event(connection_));
    }
    if (!event) break;
    dispatch(*event);
  }
  xcb_flush(connection_);
  if (!isValid() && !reportedBroken_) {
    reportedBroken_ = true;
    if (notifier_) notifier_->setEnabled(false);
    qCWarning(lcClipboard) << "lost the connection to the X server";
  }
}

xcb_timestamp_t X11Connection::serverTime(std::chrono::milliseconds limit) {
  if (!isValid()) return XCB_CURRENT_TIME;
  xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, timestampProperty_,
                      XCB_ATOM_STRING, 8, 0, nullptr);
  const auto event = waitForEvent(
      [this](const xcb_generic_event_t& e) {
        if ((e.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(e);
        return notify.window == window_ && notify.atom == timestampProperty_;
      },
      limit);
  if (event) return reinterpret_cast<const xcb_property_notify_event_t&>(*event).time;
  qCWarning(lcClipboard) << "the X server did not report its time";
  return XCB_CURRENT_TIME;
}

XcbPtr<xcb_generic_event_t> X11Connection::waitForEvent(
    const std::function<bool(const xcb_generic_event_t&)>& wanted, std::chrono::milliseconds limit) {
  xcb_flush(connection_);
  const QDeadlineTimer deadline(limit);
  XcbPtr<xcb_generic_event_t> found;
  while (!found) {
    while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
      if (wanted(*event)) {
        found = std::move(event);
        break;
      }
      held_.push_back(std::move(event));
    }
    if (found || !isValid() || deadline.hasExpired()) break;
    pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
    ::poll(&fd, 1, int(deadline.remainingTime()));
  }
  if (!held_.empty()) flushSoon();
  return found;
}

}  // namespace tuckshelf
