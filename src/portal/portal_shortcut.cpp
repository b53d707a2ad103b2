#include "portal/portal_shortcut.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <cstdio>

namespace {

// One element of BindShortcuts' a(sa{sv}).
struct PortalShortcutEntry {
  QString id;
  QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcutEntry& entry) {
  out.beginStructure();
  out << entry.id << entry.options;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcutEntry& entry) {
  in.beginStructure();
  in >> entry.id >> entry.options;
  in.endStructure();
  return in;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcutEntry)

namespace tuckshelf {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRegistryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The errors of a bus without the portal, or of a portal without the
// interface: the desktop offers no such shortcut, which is no fault.
bool meansAbsent(const QDBusError& error) {
  switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
      return true;
    default:
      return false;
  }
}

// The portal's session handle, which older portals give as a string.
QString pathIn(const QVariant& value) {
  if (value.canConvert<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
  return value.toString();
}

}  // namespace

PortalShortcut::PortalShortcut(QDBusConnection bus, QString appId, std::function<void()> activated)
    : bus_(std::move(bus)), appId_(std::move(appId)), activated_(std::move(activated)) {
  qDBusRegisterMetaType<PortalShortcutEntry>();
  qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
}

void PortalShortcut::start() {
  if (state_ != State::idle) return;
  if (!bus_.isConnected()) {
    state_ = State::unavailable;
    return;
  }
  // The slots take the whole message: a slot with typed arguments may
  // fail to connect while QtDBus has not met those types yet.
  bus_.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
               SLOT(onActivated(QDBusMessage)));
  if (appId_.isEmpty()) {
    createSession();
    return;
  }
  // Newer portals know a program that is not sandboxed by the id it
  // registers before its first portal call, and give no shortcuts to one
  // without; older ones lack the registry and go by the process instead.
  state_ = State::registering;
  QDBusMessage registration = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kRegistryInterface,
                                                             QStringLiteral("Register"));
  registration << appId_ << QVariantMap();
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(registration), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (call->isError() && call->error().type() == QDBusError::ServiceUnknown) {
      state_ = State::unavailable;
      return;
    }
    createSession();  // registered, or a portal without the registry
  });
}

void PortalShortcut::createSession() {
  state_ = State::creatingSession;
  callWithRequest(QStringLiteral("CreateSession"), {},
                  {{QStringLiteral("session_handle_token"), QStringLiteral("tuckshelf")}});
}

void PortalShortcut::bindShortcut() {
  state_ = State::binding;
  // No preferred trigger: the user chooses the key, in the desktop's settings.
  const QList<PortalShortcutEntry> shortcuts{
      {QString::fromLatin1(kShortcutId), {{QStringLiteral("description"), QString::fromLatin1(kDescription)}}}};
  callWithRequest(QStringLiteral("BindShortcuts"),
                  {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {});
}

void PortalShortcut::callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options) {
  // The portal names the Request after the caller and the token, so the
  // Response can be listened for before the call: a quick portal may send
  // it before its reply arrives.
  const QString token = QStringLiteral("tuckshelf%1").arg(++requests_);
  QString sender = bus_.baseService().mid(1);
  sender.replace(u'.', u'_');
  const QString expected = QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token);
  listenForResponse(expected);

  options.insert(QStringLiteral("handle_token"), token);
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface, method);
  call.setArguments(arguments << options);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, expected](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *finished;
    if (reply.isError()) {
      if (meansAbsent(reply.error())) {
        state_ = State::unavailable;
      } else {
        failed(reply.error().message());
      }
      return;
    }
    // Portals older than the naming rule choose the path themselves. The
    // reply may also come after the Response has: then nothing is pending.
    if (const QString path = reply.value().path(); pendingRequest_ == expected && path != expected)
      listenForResponse(path);
  });
}

void PortalShortcut::listenForResponse(const QString& requestPath) {
  if (!pendingRequest_.isEmpty())
    bus_.disconnect(kPortalService, pendingRequest_, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(QDBusMessage)));
  pendingRequest_ = requestPath;
  if (!pendingRequest_.isEmpty())
    bus_.connect(kPortalService, pendingRequest_, kRequestInterface, QStringLiteral("Response"), this,
                 SLOT(onResponse(QDBusMessage)));
}

void PortalShortcut::onResponse(const QDBusMessage& message) {
  if (message.path() != pendingRequest_ || message.signature() != u"ua{sv}") return;
  const uint response = message.arguments().value(0).toUInt();
  const QVariantMap results = qdbus_cast<QVariantMap>(message.arguments().value(1));
  listenForResponse(QString());
  if (response == 1) {  // the user said no
    state_ = State::refused;
    return;
  }
  if (response != 0) {
    failed(QStringLiteral("the portal answered %1").arg(response));
    return;
  }
  if (state_ == State::creatingSession) {
    session_ = pathIn(results.value(QStringLiteral("session_handle")));
    if (session_.isEmpty()) {
      failed(QStringLiteral("the portal gave no session"));
      return;
    }
    bindShortcut();
  } else if (state_ == State::binding) {
    state_ = State::bound;
  }
}

void PortalShortcut::onActivated(const QDBusMessage& message) {
  if (state_ != State::bound || message.signature() != u"osta{sv}") return;
  const QVariantList args = message.arguments();
  const bool ours = args.value(0).value<QDBusObjectPath>().path() == session_ &&
                    args.value(1).toString() == QLatin1String(kShortcutId);
  if (ours && activated_) activated_();
}

void PortalShortcut::failed(const QString& why) {
  state_ = State::refused;
  std::fprintf(stderr, "tuckshelf: the desktop portal registered no shortcut (%s); bind tuckshelf --open instead\n",
               qPrintable(why));
}

}  // namespace tuckshelf
