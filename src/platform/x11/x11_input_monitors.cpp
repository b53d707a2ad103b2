#include "platform/x11/x11_input_monitors.h"

#include <cstdlib>
#include <vector>

#include <QtGlobal>
#include <xcb/xcb.h>
#include <xcb/xinput.h>
// xkb.h names a struct member "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_key_tracker.h"

namespace tuckshelf {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Installed handlers, in installation order. Entries are shared so that one
// removed while the list is being walked is skipped rather than destroyed
// under the caller.
template <typename Fn>
struct HandlerList {
  struct Entry {
    Fn fn;
    bool installed = true;
  };
  std::vector<std::shared_ptr<Entry>> entries;

  void remove(const std::shared_ptr<Entry>& entry) {
    entry->installed = false;
    std::erase(entries, entry);
  }
};

// The head every XKB event shares.
struct XkbEventHead {
  uint8_t response_type;
  uint8_t xkbType;
  uint16_t sequence;
  xcb_timestamp_t time;
  uint8_t deviceID;
};

}  // namespace

struct X11InputMonitors::State : std::enable_shared_from_this<State> {
  ~State();
  void open(std::shared_ptr<X11Connection> shared);
  bool selectRawEvents(xcb_window_t root);
  void setUpKeyboard();
  void handle(const xcb_generic_event_t* event);
  void handleXkb(const xcb_generic_event_t* event);
  void refreshKeymap();

  template <typename Fn>
  MonitorToken install(HandlerList<Fn> State::*list, Fn fn);
  template <typename Fn, typename... Args>
  void dispatch(HandlerList<Fn>& list, const Args&... args);

  std::shared_ptr<X11Connection> shared;
  X11Connection::HandlerToken eventHandler;
  xcb_connection_t* connection = nullptr;
  uint8_t inputOpcode = 0;
  uint8_t xkbFirstEvent = 0;
  int32_t keyboard = -1;
  xkb_context* context = nullptr;
  X11KeyTracker keys;
  bool rawEventsSelected = false;
  bool keymapKnown = false;
  // Refetched at the next key event, so a burst of map changes costs one fetch.
  bool keymapStale = false;
  // Set when the owner goes away, possibly from inside a handler.
  bool closed = false;
  HandlerList<std::function<void(const KeyDown&)>> keyHandlers;
};

X11InputMonitors::State::~State() {
  if (context) xkb_context_unref(context);
}

void X11InputMonitors::State::open(std::shared_ptr<X11Connection> connectionToUse) {
  shared = std::move(connectionToUse);
  if (!shared->isValid()) {
    qWarning("tuckshelf: cannot open the X display; key monitors are off");
    return;
  }
  connection = shared->get();
  if (!selectRawEvents(shared->root())) {
    qWarning("tuckshelf: the X server lacks XInput 2.2; key monitors are off");
    return;
  }
  setUpKeyboard();
  eventHandler = shared->addEventHandler([weak = weak_from_this()](const xcb_generic_event_t& event) {
    // Held for the whole call: a handler may drop the owner.
    if (const auto self = weak.lock(); self && !self->closed) self->handle(&event);
  });
  // The round trips above may have read events the socket will not
  // announce again.
  shared->flushSoon();
}

bool X11InputMonitors::State::selectRawEvents(xcb_window_t root) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
  if (!extension || !extension->present) return false;
  inputOpcode = extension->major_opcode;

  // Below 2.2 raw events stop while another client holds a grab.
  XcbReply<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(connection, xcb_input_xi_query_version(connection, 2, 2), nullptr));
  if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 2)) {
    return false;
  }

  // Master devices only: selecting all devices delivers each event twice.
  struct {
    xcb_input_event_mask_t head;
    uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
  // Checked, so the selection is in force when the constructor returns.
  XcbReply<xcb_generic_error_t> error(
      xcb_request_check(connection, xcb_input_xi_select_events_checked(connection, root, 1, &mask.head)));
  rawEventsSelected = !error;
  return rawEventsSelected;
}

void X11InputMonitors::State::setUpKeyboard() {
  if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                   XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &xkbFirstEvent,
                                   nullptr)) {
    qWarning("tuckshelf: the X server lacks XKB; key monitors are off");
    return;
  }
  keyboard = xkb_x11_get_core_keyboard_device_id(connection);
  context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (keyboard < 0 || !context) return;

  // Selected before the first fetch so that no change slips in between.
  constexpr uint16_t kGroupParts =
      XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
  constexpr uint16_t kMapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                 XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                                 XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                                 XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
  xcb_xkb_select_events_details_t details{};
  details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
  details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
  details.affectState = kGroupParts;
  details.stateDetails = kGroupParts;
  constexpr uint16_t kEvents =
      XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
  XcbReply<xcb_generic_error_t> error(xcb_request_check(
      connection, xcb_xkb_select_events_aux_checked(connection, static_cast<xcb_xkb_device_spec_t>(keyboard),
                                                    kEvents, 0, 0, kMapParts, kMapParts, &details)));
  if (error) return;

  refreshKeymap();
  XcbReply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
      connection, xcb_xkb_get_state(connection, static_cast<xcb_xkb_device_spec_t>(keyboard)), nullptr));
  if (state) keys.setLayout(state->group);
}

void X11InputMonitors::State::refreshKeymap() {
  keymapStale = false;
  xkb_keymap* keymap =
      xkb_x11_keymap_new_from_device(context, connection, keyboard, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) {
    // Keep the previous keymap: better stale characters than none.
    qWarning("tuckshelf: cannot read the keyboard map");
    return;
  }
  keys.setKeymap(keymap);
  xkb_keymap_unref(keymap);
  keymapKnown = true;
}

void X11InputMonitors::State::handle(const xcb_generic_event_t* event) {
  const uint8_t type = event->response_type & 0x7f;
  if (xkbFirstEvent != 0 && type == xkbFirstEvent) {
    handleXkb(event);
    return;
  }
  if (type != XCB_GE_GENERIC) return;
  const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
  if (generic->extension != inputOpcode) return;

  switch (generic->event_type) {
    case XCB_INPUT_RAW_KEY_PRESS:
    case XCB_INPUT_RAW_KEY_RELEASE: {
      if (keymapStale) refreshKeymap();
      if (!keymapKnown) return;
      const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
      if (generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
        keys.release(raw->detail);
        return;
      }
      const bool repeat = raw->flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT;
      dispatch(keyHandlers, keys.press(raw->detail, repeat));
      return;
    }
  }
}

void X11InputMonitors::State::handleXkb(const xcb_generic_event_t* event) {
  switch (reinterpret_cast<const XkbEventHead*>(event)->xkbType) {
    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
    case XCB_XKB_MAP_NOTIFY:
      keymapStale = true;
      return;
    case XCB_XKB_STATE_NOTIFY:
      keys.setLayout(reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event)->group);
      return;
  }
}

template <typename Fn>
MonitorToken X11InputMonitors::State::install(HandlerList<Fn> State::*list, Fn fn) {
  if (!fn) return nullptr;
  auto entry = std::make_shared<typename HandlerList<Fn>::Entry>();
  entry->fn = std::move(fn);
  (this->*list).entries.push_back(entry);
  auto* address = entry.get();
  return MonitorToken(address, [weak = weak_from_this(), list, entry = std::move(entry)](void*) {
    entry->installed = false;
    if (const auto self = weak.lock()) (self.get()->*list).remove(entry);
  });
}

template <typename Fn, typename... Args>
void X11InputMonitors::State::dispatch(HandlerList<Fn>& list, const Args&... args) {
  if (list.entries.empty()) return;
  // A handler may install or release handlers, or drop the owner.
  const auto snapshot = list.entries;
  for (const auto& entry : snapshot) {
    if (closed) return;
    if (entry->installed) entry->fn(args...);
  }
}

X11InputMonitors::X11InputMonitors(const QByteArray& displayName)
    : X11InputMonitors(std::make_shared<X11Connection>(displayName)) {}

X11InputMonitors::X11InputMonitors(std::shared_ptr<X11Connection> connection)
    : state_(std::make_shared<State>()) {
  state_->open(std::move(connection));
}

X11InputMonitors::~X11InputMonitors() { state_->closed = true; }

MonitorToken X11InputMonitors::addGlobalKeyDownMonitor(std::function<void(const KeyDown&)> handler) {
  if (!state_->rawEventsSelected || !state_->keymapKnown) return nullptr;
  return state_->install(&State::keyHandlers, std::move(handler));
}

MonitorToken X11InputMonitors::addLocalKeyDownMonitor(std::function<void(const KeyDown&)> handler) {
  // This program's only window never takes the keyboard focus, so X delivers
  // no key to it, and its keys already reach the global monitors through the
  // raw stream. Nothing to install; the token only stands for success.
  (void)handler;
  return std::make_shared<bool>(true);
}

}  // namespace tuckshelf
