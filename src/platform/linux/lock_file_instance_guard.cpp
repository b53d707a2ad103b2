#include "platform/linux/lock_file_instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace tuckshelf {
namespace {

using namespace std::chrono_literals;
constexpr auto kQuitGrace = 2000ms;
constexpr int kAnswerMs = 1000;

// A socket's path fits its address's 108 bytes with the terminator; Qt
// refuses one that fills it, so a margin is kept.
constexpr qsizetype kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 8;

// The session's name made safe for a file name: $WAYLAND_DISPLAY may be a
// path of its own. Where that makes the socket's path too long, the name
// is a digest of it, the same for the lock and the socket.
QString pathFor(const QString& session, const char* suffix) {
  QString name = session.isEmpty() ? QStringLiteral("default") : session;
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  const QDir dir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
  const auto path = [&](const QString& n, const char* s) {
    return dir.filePath(QStringLiteral("tuckshelf-%1.%2").arg(n, QLatin1String(s)));
  };
  if (QFile::encodeName(path(name, "socket")).size() > kMaxSocketPath)
    name = QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
  return path(name, suffix);
}

bool tryLock(int fd) { return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

// Tries for the lock until `grace` has passed.
bool lockWithin(int fd, std::chrono::milliseconds grace) {
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (!tryLock(fd)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::optional<std::int64_t> pidIn(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return std::nullopt;
  bool ok = false;
  const qint64 pid = QByteArray(text, int(n)).trimmed().toLongLong(&ok);
  return ok && pid > 1 ? std::optional<std::int64_t>(pid) : std::nullopt;
}

QByteArray wordFor(RemoteCommand command) {
  switch (command) {
    case RemoteCommand::quit:
      return "quit\n";
    case RemoteCommand::clear:
      return "clear\n";
    case RemoteCommand::open:
      return "open\n";
  }
  return {};
}

// Sends one command line and waits for the running copy's answer.
bool ask(const QString& socketPath, RemoteCommand command) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(kAnswerMs)) return false;
  socket.write(wordFor(command));
  if (!socket.waitForBytesWritten(kAnswerMs)) return false;
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(kAnswerMs)) return false;
  return socket.readLine() == "done\n";
}

}  // namespace

LockFileInstanceGuard::LockFileInstanceGuard(const QString& session, ProcessTable& processes)
    : lockPath_(pathFor(session, "lock")), socketPath_(pathFor(session, "socket")), processes_(processes) {}

LockFileInstanceGuard::~LockFileInstanceGuard() {
  // The socket goes before the lock: a later copy that gets the lock finds
  // the name free.
  if (server_) server_->close();
  if (lockFd_ >= 0) ::close(lockFd_);
}

void LockFileInstanceGuard::claim() {
  lockFd_ = ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    qWarning("tuckshelf: cannot open %s; another copy may run beside this one", qPrintable(lockPath_));
    return;
  }
  if (!tryLock(lockFd_)) {
    const std::optional<std::int64_t> pid = pidIn(lockFd_);
    ask(socketPath_, RemoteCommand::quit);
    if (!lockWithin(lockFd_, kQuitGrace) && pid) {
      qWarning("tuckshelf: the copy already running (pid %lld) did not quit; ending it", static_cast<long long>(*pid));
      processes_.kill(ProcessEntry{*pid, processes_.self().identifier});
    }
    if (!lockWithin(lockFd_, 1000ms)) {
      qWarning("tuckshelf: another copy holds %s; running beside it", qPrintable(lockPath_));
      return;
    }
  }
  const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
  if (::ftruncate(lockFd_, 0) != 0 || ::pwrite(lockFd_, pid.constData(), size_t(pid.size()), 0) != pid.size())
    qWarning("tuckshelf: cannot write %s", qPrintable(lockPath_));
  serve();
}

void LockFileInstanceGuard::serve() {
  // Holding the lock makes any socket left there a crashed copy's.
  QLocalServer::removeServer(socketPath_);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath_)) {
    qWarning("tuckshelf: cannot listen on %s: %s", qPrintable(socketPath_), qPrintable(server_->errorString()));
    return;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        while (socket->canReadLine()) {
          const QByteArray line = socket->readLine();
          const bool quitting = line == wordFor(RemoteCommand::quit);
          const bool clear = line == wordFor(RemoteCommand::clear), open = line == wordFor(RemoteCommand::open);
          if (clear && handlers_.clear) handlers_.clear();
          if (open && handlers_.open) handlers_.open();
          if (quitting || clear || open) socket->write("done\n");
          socket->flush();
          if (quitting) return quit();
        }
        // Nothing sensible is this long: not a command of ours.
        if (socket->bytesAvailable() > 64) socket->abort();
      });
    }
  });
}

void LockFileInstanceGuard::setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void LockFileInstanceGuard::quit() {
  if (quitRequested_) return;
  quitRequested_ = true;
  if (handlers_.quitting) handlers_.quitting();
  QCoreApplication::quit();
}

RemoteOutcome LockFileInstanceGuard::send(const QString& session, RemoteCommand command) {
  const QString lockPath = pathFor(session, "lock");
  const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
  // No file, or a lock nobody holds: nothing runs.
  if (fd < 0) return RemoteOutcome::noRunningCopy;
  RemoteOutcome outcome = RemoteOutcome::noRunningCopy;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && ask(pathFor(session, "socket"), command)) {
    outcome = RemoteOutcome::done;
    if (command == RemoteCommand::quit) {
      const auto deadline = std::chrono::steady_clock::now() + kQuitGrace + 1000ms;
      while (::flock(fd, LOCK_SH | LOCK_NB) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    }
  }
  ::close(fd);
  return outcome;
}

}  // namespace tuckshelf
