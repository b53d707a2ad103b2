#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "platform/instance_guard.h"
#include "platform/process_table.h"

class QLocalServer;

namespace tuckshelf {

// One copy per session where the window system offers no shared place to
// claim (Wayland): the running copy holds an exclusive lock on a file in
// the user's runtime directory, named after the session, with its pid in
// it, and listens on a socket beside it for commands. A later copy asks it
// to quit there and waits for the lock (two seconds at most, then it ends
// the earlier copy by pid). The kernel drops a crashed copy's lock, so a
// stale file never blocks a start.
class LockFileInstanceGuard final : public InstanceGuard {
 public:
  // `session` names the display (e.g. $WAYLAND_DISPLAY); `processes` must
  // outlive the guard.
  LockFileInstanceGuard(const QString& session, ProcessTable& processes);
  ~LockFileInstanceGuard() override;

  void claim() override;
  void setHandlers(Handlers handlers) override;

  // The command line's side: sends `command` to the copy running in
  // `session`; for `quit`, waits (a few seconds at most) for it to go.
  static RemoteOutcome send(const QString& session, RemoteCommand command);

 private:
  void serve();
  void quit();

  QString lockPath_;
  QString socketPath_;
  ProcessTable& processes_;
  int lockFd_ = -1;
  std::unique_ptr<QLocalServer> server_;
  Handlers handlers_;
  bool quitRequested_ = false;
};

}  // namespace tuckshelf
