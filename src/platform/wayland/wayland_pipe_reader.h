#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tuckshelf {

// Reads what another program writes into a pipe, from the event loop, up
// to end of file. Reports once: the bytes, or none when the pipe could not
// be made, the writer sent more than `maxBytes`, wrote nothing for
// `answerTimeout`, or paused longer than `stepTimeout` after. The read end
// closes once it has reported.
class WaylandPipeReader {
 public:
  // `handOver` passes the write end to the writer; it is closed here after.
  WaylandPipeReader(const std::function<void(int writeEnd)>& handOver, qsizetype maxBytes,
                    std::chrono::milliseconds answerTimeout, std::chrono::milliseconds stepTimeout,
                    std::function<void(std::optional<QByteArray>)> onDone);
  ~WaylandPipeReader();
  WaylandPipeReader(const WaylandPipeReader&) = delete;
  WaylandPipeReader& operator=(const WaylandPipeReader&) = delete;

 private:
  void readAvailable();
  void finish(std::optional<QByteArray> result);

  int fd_ = -1;
  qsizetype maxBytes_;
  std::function<void(std::optional<QByteArray>)> onDone_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer stepTimer_;
  std::chrono::milliseconds stepTimeout_;
  QByteArray data_;
};

}  // namespace tuckshelf
