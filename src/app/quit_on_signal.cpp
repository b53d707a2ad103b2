#include "app/quit_on_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace tuckshelf {
namespace {

int wakePipe[2] = {-1, -1};

// A signal handler may only do async-signal-safe things: it wakes the event
// loop through the pipe (the self-pipe trick) and the loop does the rest.
void onSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  // A full pipe already holds a wake-up: a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

bool quitOnTerminationSignals() {
  if (wakePipe[0] != -1) return true;
  auto* app = QCoreApplication::instance();
  if (!app || ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, app);
  QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
    char drain[64];
    while (::read(wakePipe[0], drain, sizeof drain) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace tuckshelf
