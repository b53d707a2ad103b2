// The running copy's lock and command socket on a real runtime folder.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

#include "event_loop_wait.h"
#include "platform/linux/linux_process_table.h"
#include "platform/linux/lock_file_instance_guard.h"

namespace tuckshelf {
namespace {

// However long the runtime folder and the display's name, the command
// line's command reaches the running copy: a socket's path has a limit.
TEST(LockFileInstanceGuard, CommandsReachTheRunningCopyWhateverTheSessionsName) {
  QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/runtime-%1-XXXXXX").arg(QString(40, u'r')));
  ASSERT_TRUE(runtime.isValid());
  const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  for (const QString& session : {QStringLiteral("wayland-1"), runtime.path() + QStringLiteral("/wayland-1")}) {
    LinuxProcessTable processes;
    LockFileInstanceGuard guard(session, processes);
    int opened = 0;
    guard.setHandlers({.quitting = {}, .clear = {}, .open = [&] { ++opened; }});
    guard.claim();
    QFuture<RemoteOutcome> sent =
        QtConcurrent::run([&] { return LockFileInstanceGuard::send(session, RemoteCommand::open); });
    EXPECT_TRUE(pumpUntil([&] { return sent.isFinished(); })) << session.toStdString();
    EXPECT_TRUE(sent.result() == RemoteOutcome::done && opened == 1) << session.toStdString();
  }
  before.isNull() ? void(qunsetenv("XDG_RUNTIME_DIR")) : void(qputenv("XDG_RUNTIME_DIR", before));
}

}  // namespace
}  // namespace tuckshelf
