#pragma once

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "history/clip_image.h"
#include "platform/clipboard_limits.h"
#include "platform/qt/qt_clipboard_state.h"
#include "platform/wayland/wayland_connection.h"

struct wl_proxy;

namespace tuckshelf {

Q_DECLARE_LOGGING_CATEGORY(lcWaylandClipboard)

class WaylandPipeReader;

using WaylandSelectionContents = ClipboardContents;

// Reads the contents of one clipboard change from its offer: the password
// manager's hint if offered, then the best text and, when there is no
// usable text, the best picture, decoded on a worker thread; then every
// other type that holds content, within the extra formats' cap. Each type
// comes through a pipe read from the event loop. Settles once, with nothing
// when the source fails to write the text or the picture in time, writes
// too much, or the contents are secret (an extra type that fails is left
// out, and the change's deadline ends them keeping what came); and only once the compositor has caught up, so that a source
// that died while writing is known gone before its part-written contents
// would count.
class WaylandSelectionFetch {
 public:
  WaylandSelectionFetch(WaylandConnection& connection, wl_proxy* offer, const QList<QByteArray>& mimeTypes,
                        const ClipboardLimits& limits, std::function<void(WaylandSelectionContents)> onSettled);
  // Abandons whatever is still under way.
  ~WaylandSelectionFetch();

 private:
  enum class Step { Hint, Text, Image, Extra, Decoding, Confirming, Settled };

  void read(Step step, const QByteArray& mimeType, qsizetype maxBytes = -1);
  void onRead(std::optional<QByteArray> data);
  void readNextText();
  void readNextImage();
  void readNextExtra();
  void decode(QByteArray encoded);
  void confirm(WaylandSelectionContents contents);
  void settle(WaylandSelectionContents contents);

  WaylandConnection& connection_;
  wl_proxy* offer_;
  const ClipboardLimits limits_;
  std::function<void(WaylandSelectionContents)> onSettled_;
  Step step_ = Step::Hint;
  QByteArray mimeType_;                     // being read
  std::vector<QByteArray> textCandidates_;   // offered, best first
  std::vector<QByteArray> imageCandidates_;  // offered, best first
  std::vector<QByteArray> extraCandidates_;  // offered content, in order
  std::optional<QString> text_;
  QByteArray pictureBytes_;  // read, to decode once the extras are in
  std::shared_ptr<ClipFormats> formats_ = std::make_shared<ClipFormats>();
  qsizetype extraBytes_ = 0;
  std::unique_ptr<WaylandPipeReader> reader_;
  std::unique_ptr<WaylandPipeReader> finishedReader_;  // may still be on the stack
  std::unique_ptr<WaylandConnection::Sync> caughtUp_;
  QTimer changeTimer_;
  // Tells a decode on a worker thread whether this fetch is still there.
  std::shared_ptr<WaylandSelectionFetch*> alive_;
};

}  // namespace tuckshelf
