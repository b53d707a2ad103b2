#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "service/dbus_clip.h"

class QDBusServiceWatcher;

namespace tuckshelf {

class AppDelegate;

// The running program on the session bus (io.github.tuckshelf.Tuckshelf1,
// io.github.tuckshelf.Tuckshelf1.xml): the history, the dot and the row
// actions, for GNOME Shell's extension, which draws the shelf there, and
// for scripts. Everything stays the delegate's; this only translates.
class DBusService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "io.github.tuckshelf.Tuckshelf1")
  Q_PROPERTY(bool Unpasted READ Unpasted)

 public:
  static constexpr const char* kServiceName = "io.github.tuckshelf.Tuckshelf";
  static constexpr const char* kObjectPath = "/io/github/tuckshelf/Tuckshelf";

  // Serves `delegate`, which must outlive it; `quit` ends the program.
  DBusService(AppDelegate& delegate, std::function<void()> quit);
  ~DBusService() override;

  // Takes the name on the session bus. Without a bus, or when a copy on
  // another display holds the name, says so in one line and returns false:
  // the program runs on without it.
  bool publish(QDBusConnection bus = QDBusConnection::sessionBus());

  bool Unpasted() const;
  // Whether a client draws the shelf now.
  bool attached() const { return !attached_.isEmpty(); }

 public slots:
  Q_SCRIPTABLE DBusClips GetClips() const;
  Q_SCRIPTABLE QStringList GetAccessibleNames() const;
  Q_SCRIPTABLE double GetLayout(double& content_height, QList<double>& row_heights);
  Q_SCRIPTABLE void Restore(const QString& id);
  Q_SCRIPTABLE void Remove(const QString& id);
  Q_SCRIPTABLE void Open();
  Q_SCRIPTABLE void Clear();
  Q_SCRIPTABLE void Quit();
  Q_SCRIPTABLE void Attach();
  Q_SCRIPTABLE void Detach();

 signals:
  Q_SCRIPTABLE void Changed();
  Q_SCRIPTABLE void OpenRequested();

 private:
  // The history's index of the clip `id`, or -1 after an error reply.
  std::int64_t indexOf(const QString& id);
  void delegateChanged();
  void emitChanged();
  void detachFrom(const QString& caller);

  AppDelegate& delegate_;
  std::function<void()> quit_;
  QDBusConnection bus_{QString()};
  bool changePending_ = false;
  bool lastUnpasted_ = false;
  QString attached_;  // the caller drawing the shelf, by its unique name
  std::unique_ptr<QDBusServiceWatcher> attachedWatcher_;
};

// A clip's id on the bus: the same for the same entry for as long as the
// program runs.
QString dbusClipId(const QString& key);

}  // namespace tuckshelf
