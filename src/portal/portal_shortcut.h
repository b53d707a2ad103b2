#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class QDBusMessage;

namespace tuckshelf {

// One global shortcut, "open", registered through the desktop portal's
// GlobalShortcuts interface where the desktop offers it (KDE Plasma, GNOME
// 48 and later): bound to no key until the user gives it one in the
// desktop's settings. Every call is asynchronous; a desktop without the
// portal or the interface costs nothing and says nothing.
class PortalShortcut : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* kShortcutId = "open";
  static constexpr const char* kDescription = "Open the clipboard history";

  // The states from `bound` on are final.
  enum class State { idle, registering, creatingSession, binding, bound, unavailable, refused };

  // `activated` runs each time the user presses the shortcut.
  PortalShortcut(QDBusConnection bus, QString appId, std::function<void()> activated);

  // Asks the portal for the session and the shortcut, and returns at once.
  void start();
  State state() const { return state_; }
  // The session the portal made for the shortcut, once it has.
  const QString& sessionHandle() const { return session_; }

 private slots:
  // Request.Response(u response, a{sv} results)
  void onResponse(const QDBusMessage& message);
  // GlobalShortcuts.Activated(o session, s shortcut id, t timestamp, a{sv} options)
  void onActivated(const QDBusMessage& message);

 private:
  void createSession();
  void bindShortcut();
  // Calls a portal method whose answer comes as a Request's Response
  // signal; the signal is listened for before the call goes out.
  void callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options);
  // Listens to that Request alone; an empty path stops listening.
  void listenForResponse(const QString& requestPath);
  void failed(const QString& why);

  QDBusConnection bus_;
  QString appId_;
  std::function<void()> activated_;
  State state_ = State::idle;
  QString session_;
  QString pendingRequest_;  // the Request whose Response comes next
  int requests_ = 0;        // tokens made so far
};

}  // namespace tuckshelf
