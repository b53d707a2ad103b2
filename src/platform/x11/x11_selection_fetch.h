#pragma once

#include <xcb/xcb.h>

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "history/clip_image.h"
#include "platform/clipboard_limits.h"
#include "platform/qt/qt_clipboard_state.h"
#include "platform/x11/x11_selection_transfer.h"

namespace tuckshelf {

class X11Connection;
struct X11SelectionAtoms;

using X11SelectionContents = ClipboardContents;

using X11SelectionLimits = ClipboardLimits;

// Reads the contents of one clipboard change: the owner's targets, the
// password manager's hint if offered, then the best text and, when there is
// no usable text, the best picture, decoded on a worker thread; then every
// other target that holds content, within the extra formats' cap. Settles
// once, with nothing when the owner fails to answer in time for the text or
// the picture, or the contents are secret or too large. An extra target
// that fails or times out is left out; the change's deadline passing
// while they are read ends them, keeping what came.
class X11SelectionFetch : public QObject {
  Q_OBJECT
 public:
  X11SelectionFetch(X11Connection& connection, const X11SelectionAtoms& atoms,
                    const X11SelectionLimits& limits, xcb_timestamp_t time,
                    std::function<void(X11SelectionContents)> onSettled);
  // Abandons whatever is still under way.
  ~X11SelectionFetch() override;

  xcb_window_t window() const { return window_; }
  void handleSelectionNotify(const xcb_selection_notify_event_t& event);
  void handlePropertyNotify(const xcb_property_notify_event_t& event);

 private:
  enum class Step { Targets, Hint, Text, Image, Extra, Decoding, Settled };

  void request(Step step, xcb_atom_t target);
  void onTransferDone(X11SelectionTransfer::Result result);
  void onTargets(const X11SelectionTransfer::Result& result);
  void onHint(const X11SelectionTransfer::Result& result);
  void onText(X11SelectionTransfer::Result result);
  void onImage(X11SelectionTransfer::Result result);
  void requestNextText();
  void requestNextImage();
  void onExtra(const X11SelectionTransfer::Result& result);
  void requestNextExtra();
  void keep(xcb_atom_t target, const X11SelectionTransfer::Result& result);
  QByteArray nameOf(xcb_atom_t atom);
  void decode(QByteArray encoded);
  void settle(X11SelectionContents contents);

  X11Connection& connection_;
  const X11SelectionAtoms& atoms_;
  const X11SelectionLimits limits_;
  xcb_timestamp_t time_;
  std::function<void(X11SelectionContents)> onSettled_;
  xcb_window_t window_;
  X11SelectionTransfer transfer_;
  QTimer changeTimer_;
  QFutureWatcher<std::shared_ptr<const ClipImage>> decoding_;
  Step step_ = Step::Targets;
  std::vector<xcb_atom_t> textCandidates_;   // offered, best first
  std::vector<xcb_atom_t> imageCandidates_;  // offered, best first
  std::vector<xcb_atom_t> extraCandidates_;  // offered content, in order
  std::vector<std::pair<xcb_atom_t, QByteArray>> names_;
  std::optional<QString> text_;
  QByteArray pictureBytes_;  // read, to decode once the extras are in
  std::shared_ptr<ClipFormats> formats_ = std::make_shared<ClipFormats>();
  qsizetype extraBytes_ = 0;
};

}  // namespace tuckshelf
