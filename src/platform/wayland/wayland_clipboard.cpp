#include "platform/wayland/wayland_clipboard.h"

#include <unistd.h>

#include <algorithm>

#include "platform/qt/qt_clip_offers.h"
#include "platform/qt/qt_clipboard_image.h"
#include "platform/wayland/wayland_data_control.h"

namespace tuckshelf {
namespace {

// Offered beside our own contents; never asked for by anyone else.
QByteArray ownMarkerPrefix() {
  return "application/x-tuckshelf-copy-" + QByteArray::number(getpid()) + "-";
}

}  // namespace

WaylandClipboard::WaylandClipboard(WaylandConnection& connection, ClipboardLimits limits)
    : connection_(connection), limits_(limits), dataControl_(std::make_unique<WaylandDataControl>(connection)) {
  allowImagesUpTo(limits_.maxImagePixels);
  if (!dataControl_->isValid()) return;
  static const WaylandDataControl::DeviceListener listener = {onDataOffer, onSelection, onFinished,
                                                               onPrimarySelection};
  device_ = dataControl_->createDevice(&listener, this);
  // The compositor reports the current selection as soon as the device is
  // made. KWin says nothing while the clipboard is empty, so once a round
  // trip has passed without a report, it was empty at launch.
  awaitingInitialSelection_ = true;
  initialReport_ = std::make_unique<WaylandConnection::Sync>(connection_, [this] {
    const auto reported = std::move(initialReport_);  // its call is this one: gone at the end
    if (std::exchange(awaitingInitialSelection_, false)) state_.wake();
  });
  connection_.flush();
}

WaylandClipboard::~WaylandClipboard() {
  initialReport_.reset();
  catchingUp_.reset();
  fetch_.reset();
  retired_.clear();
  lastWhileCatchingUp_.reset();
  selection_.reset();
  announced_.clear();
  source_.reset();  // our contents go with this program, as on any Wayland clipboard
  if (device_) WaylandDataControl::destroy(device_);
  dataControl_.reset();
}

bool WaylandClipboard::waitForInitialContents(int ms) {
  state_.waitAtLaunch(ms, [this] { return initialContentsPending(); });
  return !initialContentsPending();
}

std::int64_t WaylandClipboard::generation() { return state_.generation(); }

std::optional<QString> WaylandClipboard::text() { return state_.contents().text; }

std::shared_ptr<const ClipImage> WaylandClipboard::image() { return state_.contents().image; }

void WaylandClipboard::setPasteHandler(std::function<void()> handler) { pasted_ = std::move(handler); }
void WaylandClipboard::setOwnerGoneHandler(std::function<void()> handler) { ownerGone_ = std::move(handler); }

void WaylandClipboard::clear() {
  settleNow({});
  selection_.reset();
  holder_ = Holder::Nobody;
  if (!device_) return;
  WaylandDataControl::setSelection(device_, nullptr);
  source_.reset();
  catchingUp_ = std::make_unique<WaylandConnection::Sync>(connection_, [this] { onCaughtUpWithOurWrite(); });
  lastWhileCatchingUp_.reset();
}

std::shared_ptr<const ClipFormats> WaylandClipboard::formats() { return state_.contents().formats; }

void WaylandClipboard::setText(const QString& text) { setClip(text, nullptr, nullptr); }

void WaylandClipboard::setImage(const std::shared_ptr<const ClipImage>& image) {
  if (!image) return clear();
  setClip(std::nullopt, image, nullptr);
}

void WaylandClipboard::setClip(const std::optional<QString>& text, const std::shared_ptr<const ClipImage>& image,
                               const std::shared_ptr<const ClipFormats>& formats) {
  std::vector<WaylandSelectionSource::Offer> offers;
  if (device_)
    for (ClipFormat& f : clipOffers(text, image.get(), formats.get())) offers.push_back({f.name, std::move(f.data)});
  publish({text, image, formats}, std::move(offers));
}

void WaylandClipboard::publish(WaylandSelectionContents contents,
                               std::vector<WaylandSelectionSource::Offer> offers) {
  settleNow(std::move(contents));  // newer than any change being read
  selection_.reset();
  holder_ = Holder::Us;
  if (!device_) return;
  ownMarker_ = ownMarkerPrefix() + QByteArray::number(++writes_);
  offers.push_back({ownMarker_, {}});
  auto source = std::make_unique<WaylandSelectionSource>(*dataControl_, std::move(offers), &lifetime_);
  source->onRequest = [this](const QByteArray& mimeType) {
    if (mimeType != ownMarker_ && pasted_) pasted_();
  };
  source->onCancelled = [this, mine = source.get()] {
    if (source_.get() == mine) source_.reset();
  };
  WaylandDataControl::setSelection(device_, source->get());
  source_ = std::move(source);  // the one before goes only now, no longer the selection
  catchingUp_ = std::make_unique<WaylandConnection::Sync>(connection_, [this] { onCaughtUpWithOurWrite(); });
  lastWhileCatchingUp_.reset();
}

void WaylandClipboard::onDataOffer(void* data, wl_proxy*, wl_proxy* offer) {
  static_cast<WaylandClipboard*>(data)->announced_.push_back(std::make_unique<WaylandOffer>(offer));
}

void WaylandClipboard::onSelection(void* data, wl_proxy*, wl_proxy* offer) {
  auto* self = static_cast<WaylandClipboard*>(data);
  std::unique_ptr<WaylandOffer> taken = self->takeAnnounced(offer);
  if (self->catchingUp_) {
    self->lastWhileCatchingUp_ = std::move(taken);
    return;
  }
  self->takeChange(std::move(taken));
}

void WaylandClipboard::onPrimarySelection(void* data, wl_proxy*, wl_proxy* offer) {
  static_cast<WaylandClipboard*>(data)->takeAnnounced(offer);  // and destroyed at once
}

void WaylandClipboard::onFinished(void* data, wl_proxy* device) {
  auto* self = static_cast<WaylandClipboard*>(data);
  qWarning("tuckshelf: the seat's clipboard went away");
  WaylandDataControl::destroy(device);
  self->device_ = nullptr;
  self->source_.reset();
  self->catchingUp_.reset();
  self->holder_ = Holder::Nobody;
  self->selection_.reset();
  self->settleNow({});
}

std::unique_ptr<WaylandOffer> WaylandClipboard::takeAnnounced(wl_proxy* offer) {
  const auto found = std::find_if(announced_.begin(), announced_.end(),
                                  [offer](const auto& announced) { return announced->get() == offer; });
  if (!offer || found == announced_.end()) return nullptr;
  std::unique_ptr<WaylandOffer> taken = std::move(*found);
  announced_.erase(found);
  return taken;
}

void WaylandClipboard::onCaughtUpWithOurWrite() {
  const auto caughtUp = std::move(catchingUp_);  // its call is this one: gone at the end
  // Nothing reported since the write: the clipboard is as it left it.
  if (!lastWhileCatchingUp_) return;
  std::unique_ptr<WaylandOffer> last = std::move(*lastWhileCatchingUp_);
  lastWhileCatchingUp_.reset();
  // The last report is our write's own, or a later change.
  takeChange(std::move(last));
}

void WaylandClipboard::takeChange(std::unique_ptr<WaylandOffer> offer) {
  const bool initial = std::exchange(awaitingInitialSelection_, false);
  if (offer && !ownMarker_.isEmpty() && offer->offers(ownMarker_)) return;  // ours, as we made it
  if (!offer) {
    if (!initial) return selectionEmptied();
    state_.wake();  // empty from the start
    return;
  }
  fetch_.reset();  // the latest change wins
  selection_ = std::move(offer);
  holder_ = Holder::Them;
  startFetch(initial);
}

void WaylandClipboard::selectionEmptied() {
  // The source's program quit or emptied the clipboard: Wayland tells
  // these apart to no one but that program.
  const auto gone = std::move(selection_);
  const Holder was = std::exchange(holder_, Holder::Nobody);
  if (was == Holder::Nobody) return;  // still empty
  // What another program held may be kept, unless it was still being read.
  if (was == Holder::Them && !fetch_ && offerToKeep()) return;
  settleNow({});
}

bool WaylandClipboard::offerToKeep() {
  if (!ownerGone_) return false;
  const std::int64_t before = state_.generation();
  ownerGone_();
  return state_.generation() != before;
}

void WaylandClipboard::startFetch(bool initial) {
  state_.readBegins(initial);
  fetch_ = std::make_unique<WaylandSelectionFetch>(
      connection_, selection_->get(), selection_->mimeTypes(), limits_,
      [this](WaylandSelectionContents contents) { onFetchSettled(std::move(contents)); });
}

void WaylandClipboard::onFetchSettled(WaylandSelectionContents contents) {
  retired_.push_back(std::move(fetch_));
  QMetaObject::invokeMethod(
      &lifetime_, [this] { retired_.clear(); }, Qt::QueuedConnection);
  state_.readEnded(std::move(contents));
}

void WaylandClipboard::settleNow(WaylandSelectionContents contents) {
  fetch_.reset();
  awaitingInitialSelection_ = false;
  state_.replace(std::move(contents));
}

}  // namespace tuckshelf
