#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "history/clip_formats.h"
#include "history/clip_image.h"

class QEventLoop;

namespace tuckshelf {

// What the clipboard holds, as read: a text, or an image, or neither, and
// every format it was read from.
struct ClipboardContents {
  std::optional<QString> text;
  std::shared_ptr<const ClipImage> image;
  std::shared_ptr<const ClipFormats> formats;
};

// The generations a clipboard backend counts, and their contents. Another
// program's change becomes a new generation once it has been read; what was
// on the clipboard at launch keeps the first generation, unless the launch
// gave up waiting for it.
class ClipboardState {
 public:
  std::int64_t generation() const { return generation_; }
  const ClipboardContents& contents() const { return contents_; }

  // A read of another program's contents begins; `atLaunch`: of what was
  // there when the program started.
  void readBegins(bool atLaunch) { readingAtLaunch_ = atLaunch; }
  bool readingAtLaunch() const { return readingAtLaunch_; }
  void readEnded(ClipboardContents contents);
  // Contents known without a read (this program's own, or none): a new
  // generation at once.
  void replace(ClipboardContents contents);

  // See Clipboard::setChangeHandler.
  void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  // Runs the event loop while `pending` holds, for `ms` at most.
  void waitAtLaunch(int ms, const std::function<bool()>& pending);
  // Ends that wait early: nothing more is coming.
  void wake();

 private:
  std::int64_t generation_ = 0;
  ClipboardContents contents_;
  bool readingAtLaunch_ = false;
  bool launchWaitGaveUp_ = false;
  QEventLoop* launchWait_ = nullptr;
  std::function<void()> changed_;
  bool reportQueued_ = false;
  QObject reports_;  // ends a queued report with this object
  void moveOn();
};

}  // namespace tuckshelf
