#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QTemporaryFile>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "event_loop_wait.h"

namespace tuckshelf::pasteboard_test {

using tuckshelf::pumpUntil;

// An `xclip` serving CLIPBOARD in the foreground; killed and reaped when
// it goes out of scope, also when a test fails half-way.
class XclipOwner {
 public:
  // Serves `data` as `target` (xclip's UTF8_STRING when empty). Null when
  // xclip cannot be started.
  static std::unique_ptr<XclipOwner> start(const QByteArray& data, const QByteArray& target = {});
  ~XclipOwner();

  void pause();   // SIGSTOP: it owns CLIPBOARD but answers nothing
  void resume();  // SIGCONT

 private:
  XclipOwner() = default;
  QTemporaryFile input_;
  QProcess process_;
};

// What `xclip -o` prints for `target`, or none when it fails or takes over
// ten seconds. The event loop runs meanwhile: the owner may be this process.
std::optional<QByteArray> readClipboardWithXclip(const QByteArray& target = {});

QByteArray encoded(const QImage& image, const char* format = "PNG");

}  // namespace tuckshelf::pasteboard_test
