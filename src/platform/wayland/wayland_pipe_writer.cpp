#include "platform/wayland/wayland_pipe_writer.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace tuckshelf {
namespace {

// As long as the X11 clipboard waits for a requestor to take a chunk.
constexpr std::chrono::seconds kReaderTimeout{5};
constexpr int kWritesPerWakeUp = 16;

// write() without the SIGPIPE of a reader that went away, which would end
// the program: the signal is held back and, if raised here, taken.
ssize_t writeQuietly(int fd, const char* data, size_t size) {
  sigset_t pipeSignal, previous, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE);
  const ssize_t n = write(fd, data, size);
  const int error = errno;
  if (n < 0 && error == EPIPE && !alreadyPending) {
    const timespec now{};
    sigtimedwait(&pipeSignal, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return n;
}

}  // namespace

void WaylandPipeWriter::start(int fd, QByteArray data, QObject* parent) {
  (new WaylandPipeWriter(fd, std::move(data), parent))->writeSome();
}

WaylandPipeWriter::WaylandPipeWriter(int fd, QByteArray data, QObject* parent)
    : QObject(parent), fd_(fd), data_(std::move(data)), writable_(fd, QSocketNotifier::Write) {
  // The compositor passes the reader's pipe as the reader made it: blocking, maybe.
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  writable_.setEnabled(false);
  connect(&writable_, &QSocketNotifier::activated, this, &WaylandPipeWriter::writeSome);
  deadline_.setSingleShot(true);
  deadline_.setInterval(kReaderTimeout);
  connect(&deadline_, &QTimer::timeout, this, &WaylandPipeWriter::finish);
}

WaylandPipeWriter::~WaylandPipeWriter() {
  writable_.setEnabled(false);
  close(fd_);
}

void WaylandPipeWriter::writeSome() {
  const qsizetype before = written_;
  for (int i = 0; i < kWritesPerWakeUp && written_ < data_.size(); ++i) {
    const ssize_t n = writeQuietly(fd_, data_.constData() + written_, size_t(data_.size() - written_));
    if (n > 0) written_ += n;
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0 && errno != EINTR) return finish();  // the reader went away
  }
  if (written_ == data_.size()) return finish();
  writable_.setEnabled(true);
  if (written_ > before || !deadline_.isActive()) deadline_.start();  // the reader's pause counts anew
}

void WaylandPipeWriter::finish() {
  writable_.setEnabled(false);
  deadline_.stop();
  deleteLater();
}

}  // namespace tuckshelf
