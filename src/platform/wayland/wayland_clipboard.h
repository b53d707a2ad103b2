#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clipboard.h"
#include "platform/clipboard_limits.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_selection_fetch.h"
#include "platform/wayland/wayland_selection_source.h"

struct wl_proxy;

namespace tuckshelf {

class WaylandDataControl;
class WaylandOffer;

// The Wayland clipboard, through the data-control protocol. Each change by
// another program is read once, in the background, and becomes a new
// generation only when its contents are in (or given up on), so the
// readers below never wait. Of several changes during one read, the latest
// wins. This program's own writes take effect at once. The primary
// selection is left alone.
class WaylandClipboard final : public Clipboard {
 public:
  // On `connection`, which outlives it. Without data-control the clipboard
  // reads as empty and writes stay within this program.
  explicit WaylandClipboard(WaylandConnection& connection, ClipboardLimits limits = {});
  ~WaylandClipboard() override;

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

 private:
  enum class Holder { Nobody, Us, Them };

  static void onDataOffer(void* data, wl_proxy* device, wl_proxy* offer);
  static void onSelection(void* data, wl_proxy* device, wl_proxy* offer);
  static void onFinished(void* data, wl_proxy* device);
  static void onPrimarySelection(void* data, wl_proxy* device, wl_proxy* offer);
  std::unique_ptr<WaylandOffer> takeAnnounced(wl_proxy* offer);

  // A selection the compositor reported, outside a write of ours.
  void takeChange(std::unique_ptr<WaylandOffer> offer);
  void selectionEmptied();
  void onCaughtUpWithOurWrite();
  // Lets the owner-gone handler write back what the owner held; true when it did.
  bool offerToKeep();
  bool initialContentsPending() const { return awaitingInitialSelection_ || state_.readingAtLaunch(); }
  void startFetch(bool initial);
  void onFetchSettled(WaylandSelectionContents contents);
  // A new generation known without reading; drops any read under way.
  void settleNow(WaylandSelectionContents contents);
  void publish(WaylandSelectionContents contents, std::vector<WaylandSelectionSource::Offer> offers);

  WaylandConnection& connection_;
  const ClipboardLimits limits_;
  // Ends queued calls and writes of this object when it goes.
  QObject lifetime_;
  std::unique_ptr<WaylandDataControl> dataControl_;
  wl_proxy* device_ = nullptr;
  std::vector<std::unique_ptr<WaylandOffer>> announced_;  // not yet named as a selection
  std::unique_ptr<WaylandOffer> selection_;  // another program's, when it holds the clipboard
  std::unique_ptr<WaylandSelectionSource> source_;  // ours, when we hold it
  Holder holder_ = Holder::Nobody;
  // Offered beside our contents, to know them when the compositor reports
  // them back; a new one for each write.
  QByteArray ownMarker_;
  std::uint64_t writes_ = 0;
  // From a write of ours until the compositor has handled it, selection
  // reports are held back: only the last one tells what the clipboard
  // holds after the write.
  std::unique_ptr<WaylandConnection::Sync> catchingUp_;
  std::optional<std::unique_ptr<WaylandOffer>> lastWhileCatchingUp_;
  std::unique_ptr<WaylandSelectionFetch> fetch_;  // the change being read
  // Settled fetches, deleted from the event loop: one may be on the stack.
  std::vector<std::unique_ptr<WaylandSelectionFetch>> retired_;
  ClipboardState state_;
  bool awaitingInitialSelection_ = false;
  std::unique_ptr<WaylandConnection::Sync> initialReport_;  // until the first round trip
  std::function<void()> ownerGone_;
  std::function<void()> pasted_;
};

}  // namespace tuckshelf
