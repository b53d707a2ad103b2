#include "platform/x11/x11_selection_incr_send.h"

#include "platform/x11/x11_connection.h"

namespace tuckshelf {
namespace {

// A requestor may be slow (a busy program pasting); it only costs memory.
constexpr std::chrono::seconds kChunkTimeout{5};

}  // namespace

X11SelectionIncrSend::X11SelectionIncrSend(X11Connection& connection,
                                           xcb_window_t requestor, xcb_atom_t property,
                                           xcb_atom_t type, QByteArray data, int chunkBytes,
                                           std::function<void()> onDone)
    : connection_(connection),
      requestor_(requestor),
      property_(property),
      type_(type),
      data_(std::move(data)),
      chunkBytes_(chunkBytes),
      onDone_(std::move(onDone)) {
  deadline_.setSingleShot(true);
  deadline_.setInterval(kChunkTimeout);
  QObject::connect(&deadline_, &QTimer::timeout, [this] {
    qCDebug(lcClipboard) << "a requestor stopped reading a large paste";
    finish();
  });
  deadline_.start();
}

void X11SelectionIncrSend::handlePropertyDeleted() {
  if (done_) return;
  if (endSent_) return finish();
  const qsizetype length = std::min<qsizetype>(chunkBytes_, data_.size() - sent_);
  xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, requestor_, property_, type_, 8,
                      std::uint32_t(length), data_.constData() + sent_);
  sent_ += length;
  endSent_ = length == 0;
  connection_.flushSoon();
  deadline_.start();
}

void X11SelectionIncrSend::finish() {
  deadline_.stop();
  done_ = true;
  if (onDone_) onDone_();
}

}  // namespace tuckshelf
