#pragma once

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clipboard.h"
#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_selection_fetch.h"
#include "platform/x11/x11_selection_owner.h"


namespace tuckshelf {

// The CLIPBOARD selection of an X server. Each change by another program
// is read once, in the background, and becomes a new generation only when
// its contents are in (or given up on), so the readers below never wait.
// Of several changes during one read, the latest wins. This program's own
// writes take effect at once.
class X11Clipboard final : public Clipboard {
 public:
  // Connects to `displayName`, or to $DISPLAY when empty. Without a server
  // the clipboard reads as empty and writes stay within this program.
  explicit X11Clipboard(X11SelectionLimits limits = {}, const QByteArray& displayName = {});
  // On a connection shared with the backend's other services.
  X11Clipboard(std::shared_ptr<X11Connection> connection, X11SelectionLimits limits = {});
  ~X11Clipboard() override;

  // Runs the event loop until what was on the clipboard at construction
  // has been read, for at most `ms`. Those contents belong to the
  // generation current at construction; if they arrive only after this
  // gave up, they come as a new generation. True when nothing is pending.
  bool waitForInitialContents(int ms);

  // ^Clipboard
  std::int64_t generation() override;
  std::optional<QString> text() override;
  std::shared_ptr<const ClipImage> image() override;
  void clear() override;
  void setText(const QString& text) override;
  void setImage(const std::shared_ptr<const ClipImage>& image) override;
  std::shared_ptr<const ClipFormats> formats() override;
  void setClip(const std::optional<QString>& text, const std::shared_ptr<const ClipImage>& image,
               const std::shared_ptr<const ClipFormats>& formats) override;
  void setChangeHandler(std::function<void()> handler) override { state_.setChangeHandler(std::move(handler)); }
  void setPasteHandler(std::function<void()> handler) override;
  void setOwnerGoneHandler(std::function<void()> handler) override;

  // Becomes the session's clipboard manager (owner of CLIPBOARD_MANAGER),
  // so that programs hand their clipboard over when they quit; leaves a
  // manager already there alone. False when there is one.
  bool becomeClipboardManager();
  // While this program owns CLIPBOARD and another program manages the
  // clipboard, asks that manager to keep the contents (SAVE_TARGETS) and
  // serves it for up to `ms`; for a clean quit.
  void handOverToManager(int ms);

 private:
  void handleEvent(const xcb_generic_event_t& event);
  void handleOwnerChange(const xcb_xfixes_selection_notify_event_t& event);
  void handleManagerRequest(const xcb_selection_request_event_t& event);
  void answerSave(const xcb_selection_request_event_t& request);
  // Lets the owner-gone handler write back what the owner held; true when
  // it did.
  bool offerToKeep();
  // True for events the server sent before this program's latest write.
  bool predatesOurWrite(const xcb_generic_event_t& event) const;
  enum class Initial { No, Yes };  // the contents present at construction
  void startFetch(xcb_timestamp_t time, Initial initial = Initial::No);
  void onFetchSettled(X11SelectionContents contents);
  // A new generation known without reading; drops any read under way.
  void settleNow(X11SelectionContents contents);
  void publish(X11SelectionContents contents, std::vector<X11SelectionOwner::Offer> offers);

  const X11SelectionLimits limits_;
  std::shared_ptr<X11Connection> connection_;
  X11Connection::HandlerToken eventHandler_;
  // Ends queued calls to this object when it goes, since the connection
  // may outlive it.
  QObject lifetime_;
  X11SelectionAtoms atoms_;
  std::unique_ptr<X11SelectionOwner> owner_;  // none without a server
  std::unique_ptr<X11SelectionFetch> fetch_;  // the change being read
  // Settled fetches, deleted from the event loop: one may be on the stack.
  std::vector<std::unique_ptr<X11SelectionFetch>> retired_;
  ClipboardState state_;
  std::function<void()> ownerGone_;
  std::function<void()> pasted_;
  bool managesClipboard_ = false;
  std::vector<xcb_selection_request_event_t> pendingSaves_;  // waiting for a read
};

}  // namespace tuckshelf
