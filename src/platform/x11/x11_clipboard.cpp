#include "platform/x11/x11_clipboard.h"

#include <utility>

#include <QEventLoop>
#include <QTimer>

#include "platform/qt/qt_clip_offers.h"
#include "platform/qt/qt_clipboard_image.h"

namespace tuckshelf {
namespace {

// The server answers at once unless it is gone; this only bounds a write.
constexpr std::chrono::milliseconds kServerTimeLimit{200};

// Whether `window` is the window manager's: made on the connection that
// made the window _NET_SUPPORTING_WM_CHECK names. The server hands each
// client its own range of resource ids, told apart by the bits outside the
// setup's mask.
bool ofWindowManager(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
  const xcb_atom_t check = internAtom(c, "_NET_SUPPORTING_WM_CHECK");
  const XcbPtr<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, false, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4) return false;
  const xcb_window_t managers = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
  const std::uint32_t clientBits = ~xcb_get_setup(c)->resource_id_mask;
  return managers != XCB_WINDOW_NONE && (managers & clientBits) == (window & clientBits);
}

}  // namespace

X11Clipboard::X11Clipboard(X11SelectionLimits limits, const QByteArray& displayName)
    : X11Clipboard(std::make_shared<X11Connection>(displayName), limits) {}

X11Clipboard::X11Clipboard(std::shared_ptr<X11Connection> connection, X11SelectionLimits limits)
    : limits_(limits), connection_(std::move(connection)) {
  allowImagesUpTo(limits_.maxImagePixels);
  if (!connection_->isValid()) return;
  xcb_connection_t* c = connection_->get();
  atoms_ = X11SelectionAtoms::intern(c);
  owner_ = std::make_unique<X11SelectionOwner>(*connection_, atoms_);
  owner_->onContentServed = [this](xcb_window_t requestor) {
    // GNOME's window manager reads every new owner's contents once, to keep
    // them when the owner quits: that is no paste.
    if (pasted_ && !ofWindowManager(connection_->get(), connection_->root(), requestor)) pasted_();
  };
  eventHandler_ = connection_->addEventHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });

  // Listen first, then look: a change in between is then not missed.
  if (connection_->xfixesFirstEvent() != 0) {
    xcb_xfixes_select_selection_input(c, connection_->window(), atoms_.clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  }
  if (selectionOwner(c, atoms_.clipboard) != XCB_WINDOW_NONE) startFetch(XCB_CURRENT_TIME, Initial::Yes);
  connection_->flushSoon();
}

X11Clipboard::~X11Clipboard() {
  // Managing ends with this object, not with the connection it shares.
  if (managesClipboard_ && connection_->isValid()) {
    xcb_set_selection_owner(connection_->get(), XCB_WINDOW_NONE, atoms_.clipboardManager, XCB_CURRENT_TIME);
    xcb_flush(connection_->get());
  }
  // Fetches use the connection; they go before it does.
  fetch_.reset();
  retired_.clear();
  owner_.reset();
}

bool X11Clipboard::waitForInitialContents(int ms) {
  state_.waitAtLaunch(ms, [this] { return fetch_ != nullptr; });
  return !fetch_;
}

std::int64_t X11Clipboard::generation() { return state_.generation(); }

std::optional<QString> X11Clipboard::text() { return state_.contents().text; }

std::shared_ptr<const ClipImage> X11Clipboard::image() { return state_.contents().image; }

void X11Clipboard::clear() { publish({}, {}); }

std::shared_ptr<const ClipFormats> X11Clipboard::formats() { return state_.contents().formats; }

void X11Clipboard::setText(const QString& text) { setClip(text, nullptr, nullptr); }

void X11Clipboard::setImage(const std::shared_ptr<const ClipImage>& image) {
  if (!image) return clear();
  setClip(std::nullopt, image, nullptr);
}

void X11Clipboard::setClip(const std::optional<QString>& text, const std::shared_ptr<const ClipImage>& image,
                           const std::shared_ptr<const ClipFormats>& formats) {
  std::vector<X11SelectionOwner::Offer> offers;
  if (owner_) {
    const std::vector<ClipFormat> formatOffers = clipOffers(text, image.get(), formats.get());
    std::vector<QByteArray> names;
    for (const ClipFormat& f : formatOffers) names.push_back(f.name), names.push_back(f.type.isEmpty() ? f.name : f.type);
    const std::vector<xcb_atom_t> atoms = internAtoms(connection_->get(), names);
    for (size_t i = 0; i < formatOffers.size(); ++i)
      if (atoms[2 * i] != XCB_ATOM_NONE && atoms[2 * i + 1] != XCB_ATOM_NONE)
        offers.push_back({atoms[2 * i], atoms[2 * i + 1], formatOffers[i].data});
  }
  publish({text, image, formats}, std::move(offers));
}

void X11Clipboard::publish(X11SelectionContents contents,
                            std::vector<X11SelectionOwner::Offer> offers) {
  settleNow(std::move(contents));  // newer than any change being read
  if (!owner_ || !connection_->isValid()) return;
  if (!owner_->own(std::move(offers), connection_->serverTime(kServerTimeLimit))) {
    // Another program took CLIPBOARD in the same instant; its notice came
    // before the write and was passed over, so read its contents now.
    startFetch(XCB_CURRENT_TIME);
  }
}

void X11Clipboard::handleEvent(const xcb_generic_event_t& event) {
  const std::uint8_t type = event.response_type & 0x7f;
  if (connection_->xfixesFirstEvent() != 0 &&
      type == connection_->xfixesFirstEvent() + XCB_XFIXES_SELECTION_NOTIFY)
    return handleOwnerChange(reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event));
  switch (type) {
    case XCB_SELECTION_NOTIFY: {
      const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
      if (fetch_ && notify.requestor == fetch_->window()) fetch_->handleSelectionNotify(notify);
      return;
    }
    case XCB_PROPERTY_NOTIFY: {
      const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      if (fetch_ && notify.window == fetch_->window())
        fetch_->handlePropertyNotify(notify);
      else
        owner_->handlePropertyNotify(notify);
      return;
    }
    case XCB_SELECTION_REQUEST: {
      const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
      if (request.selection == atoms_.clipboardManager) return handleManagerRequest(request);
      return owner_->handleSelectionRequest(request);
    }
    case XCB_SELECTION_CLEAR: {
      const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
      if (clear.selection == atoms_.clipboard && !predatesOurWrite(event)) owner_->disown();
      if (clear.selection == atoms_.clipboardManager) managesClipboard_ = false;
      return;
    }
    case 0: {  // an error, such as a requestor window gone before its reply
      const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
      qCDebug(lcClipboard) << "X error" << error.error_code << "for request" << error.major_code
                           << error.minor_code;
      return;
    }
    default:
      return;
  }
}

bool X11Clipboard::predatesOurWrite(const xcb_generic_event_t& event) const {
  return owner_->ownSequence() != 0 && isEarlier(event.full_sequence, owner_->ownSequence());
}

void X11Clipboard::handleOwnerChange(const xcb_xfixes_selection_notify_event_t& event) {
  if (event.selection != atoms_.clipboard) return;
  // This program's own write: its contents are known and already counted.
  if (event.owner == connection_->window()) return;
  // Replaced by a later write of ours before we got to it.
  if (predatesOurWrite(reinterpret_cast<const xcb_generic_event_t&>(event))) return;
  owner_->disown();
  // The owner quit or its window went, and the contents with them. (Such
  // notices still name the old owner.) What it held may be kept; not when
  // it cleared the clipboard on purpose.
  const bool ownerWentAway = event.subtype != XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
  if (ownerWentAway && offerToKeep()) return;
  if (ownerWentAway || event.owner == XCB_WINDOW_NONE) {
    settleNow({});
    return;
  }
  startFetch(event.timestamp);
}

bool X11Clipboard::offerToKeep() {
  // While a change is still being read, what is known is an older clip.
  if (!ownerGone_ || fetch_) return false;
  const std::int64_t before = state_.generation();
  ownerGone_();
  return state_.generation() != before && owner_->owns();
}

void X11Clipboard::setPasteHandler(std::function<void()> handler) { pasted_ = std::move(handler); }
void X11Clipboard::setOwnerGoneHandler(std::function<void()> handler) { ownerGone_ = std::move(handler); }

bool X11Clipboard::becomeClipboardManager() {
  if (!owner_ || !connection_->isValid()) return false;
  xcb_connection_t* c = connection_->get();
  const xcb_window_t current = selectionOwner(c, atoms_.clipboardManager);
  if (current != XCB_WINDOW_NONE && current != connection_->window()) {
    qInfo("tuckshelf: another clipboard manager is running; leaving the hand-over at quit to it");
    return false;
  }
  xcb_set_selection_owner(c, connection_->window(), atoms_.clipboardManager,
                          connection_->serverTime(kServerTimeLimit));
  managesClipboard_ = selectionOwner(c, atoms_.clipboardManager) == connection_->window();
  return managesClipboard_;
}

// The freedesktop clipboard-manager convention: a program about to quit
// converts CLIPBOARD_MANAGER to SAVE_TARGETS, and the manager takes the
// clipboard's contents over before answering.
void X11Clipboard::handleManagerRequest(const xcb_selection_request_event_t& request) {
  xcb_connection_t* c = connection_->get();
  const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
  if (!managesClipboard_) return owner_->notify(request, XCB_ATOM_NONE);
  if (request.target == atoms_.targets) {
    const xcb_atom_t targets[] = {atoms_.targets, atoms_.saveTargets};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 2, targets);
    return owner_->notify(request, property);
  }
  if (request.target != atoms_.saveTargets) return owner_->notify(request, XCB_ATOM_NONE);
  // A program usually asks right after its last copy: answered once that
  // copy is read, which the program waits for.
  if (fetch_) return pendingSaves_.push_back(request);
  answerSave(request);
}

void X11Clipboard::answerSave(const xcb_selection_request_event_t& request) {
  xcb_connection_t* c = connection_->get();
  const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
  // Our own quit asking ourselves: nothing to keep.
  const bool kept = request.requestor != connection_->window() && offerToKeep();
  if (kept)
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, atoms_.null, 32, 0, nullptr);
  owner_->notify(request, kept ? property : xcb_atom_t(XCB_ATOM_NONE));
}

void X11Clipboard::handOverToManager(int ms) {
  if (!owner_ || !owner_->owns() || managesClipboard_ || !connection_->isValid()) return;
  xcb_connection_t* c = connection_->get();
  if (selectionOwner(c, atoms_.clipboardManager) == XCB_WINDOW_NONE) return;
  xcb_convert_selection(c, connection_->window(), atoms_.clipboardManager, atoms_.saveTargets,
                        atoms_.replyProperty, XCB_CURRENT_TIME);
  // The manager reads our contents meanwhile: keep serving until it answers.
  QEventLoop loop;
  const auto answered = connection_->addEventHandler([&](const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_SELECTION_NOTIFY) return;
    if (reinterpret_cast<const xcb_selection_notify_event_t&>(event).selection == atoms_.clipboardManager)
      loop.quit();
  });
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  connection_->flushSoon();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void X11Clipboard::startFetch(xcb_timestamp_t time, Initial initial) {
  fetch_.reset();  // the latest change wins
  // Whoever asked to keep the replaced change no longer owns the clipboard.
  for (const auto& request : std::exchange(pendingSaves_, {})) owner_->notify(request, XCB_ATOM_NONE);
  state_.readBegins(initial == Initial::Yes);
  fetch_ = std::make_unique<X11SelectionFetch>(
      *connection_, atoms_, limits_, time,
      [this](X11SelectionContents contents) { onFetchSettled(std::move(contents)); });
}

void X11Clipboard::onFetchSettled(X11SelectionContents contents) {
  retired_.push_back(std::move(fetch_));
  QMetaObject::invokeMethod(
      &lifetime_, [this] { retired_.clear(); }, Qt::QueuedConnection);
  state_.readEnded(std::move(contents));
  for (const auto& request : std::exchange(pendingSaves_, {})) answerSave(request);
}

void X11Clipboard::settleNow(X11SelectionContents contents) {
  fetch_.reset();
  state_.replace(std::move(contents));
}

}  // namespace tuckshelf
