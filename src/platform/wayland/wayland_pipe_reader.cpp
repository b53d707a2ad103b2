#include "platform/wayland/wayland_pipe_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tuckshelf {
namespace {

// Reads per wake-up, so that a fast writer leaves the event loop its turn.
constexpr int kReadsPerWakeUp = 16;

}  // namespace

WaylandPipeReader::WaylandPipeReader(const std::function<void(int)>& handOver, qsizetype maxBytes,
                                     std::chrono::milliseconds answerTimeout,
                                     std::chrono::milliseconds stepTimeout,
                                     std::function<void(std::optional<QByteArray>)> onDone)
    : maxBytes_(maxBytes), onDone_(std::move(onDone)), stepTimeout_(stepTimeout) {
  stepTimer_.setSingleShot(true);
  QObject::connect(&stepTimer_, &QTimer::timeout, [this] { finish(std::nullopt); });
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    qWarning("tuckshelf: no pipe for reading the clipboard: %s", strerror(errno));
    stepTimer_.start(0);  // reported from the event loop, as every outcome is
    return;
  }
  fd_ = ends[0];
  handOver(ends[1]);
  close(ends[1]);  // the writer has its own copy: end of file comes when it closes it
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readAvailable(); });
  stepTimer_.start(answerTimeout);
}

WaylandPipeReader::~WaylandPipeReader() {
  notifier_.reset();
  if (fd_ >= 0) close(fd_);
}

void WaylandPipeReader::readAvailable() {
  char chunk[64 * 1024];
  for (int i = 0; i < kReadsPerWakeUp; ++i) {
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n > 0 && data_.size() + n > maxBytes_) return finish(std::nullopt);
    if (n > 0) data_.append(chunk, n);
    if (n == 0) return data_.squeeze(), finish(std::move(data_));  // kept for long: without the room its growth left
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0 && errno != EINTR) return finish(std::nullopt);
  }
  stepTimer_.start(stepTimeout_);  // the writer is alive: its next pause counts anew
}

void WaylandPipeReader::finish(std::optional<QByteArray> result) {
  if (!onDone_) return;
  if (notifier_) notifier_->setEnabled(false);
  // Closed at once: a writer still writing (more than the cap, say) then
  // learns at once that nobody reads, instead of blocking until this goes.
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  stepTimer_.stop();
  data_.clear();
  const auto onDone = std::move(onDone_);
  onDone_ = nullptr;
  onDone(std::move(result));  // may start the next read; this object stays until its owner drops it
}

}  // namespace tuckshelf
