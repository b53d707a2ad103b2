// The global shortcut through the desktop portal, against a stand-in for
// the portal on the private session bus that answers as xdg-desktop-portal
// does: each Response on the path the caller's name and token give, sent
// before the method's own reply.

#include "portal/portal_shortcut.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>

#include "event_loop_wait.h"
#include "fakes.h"

namespace tuckshelf {
namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kAppId = QStringLiteral("io.github.tuckshelf.Tuckshelf");

QString connectionName() {
  static int made = 0;
  return QStringLiteral("portal test %1").arg(++made);
}

class FakePortal : public QDBusVirtualObject {
 public:
  bool offersShortcuts = true;
  uint bindResponse = 0;
  QString registered;                                // the app id given to the registry
  std::vector<std::pair<QString, QVariantMap>> bound;  // what BindShortcuts was given

  explicit FakePortal(bool offersShortcuts) : offersShortcuts(offersShortcuts) {
    bus_.registerVirtualObject(kPath, this);
    bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
  }
  ~FakePortal() override {
    bus_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    QDBusConnection::disconnectFromBus(name_);
  }
  QString uniqueName() const { return bus_.baseService(); }

  void activate(const QString& session, const QString& id) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kShortcuts, QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1) << QVariantMap();
    bus_.send(signal);
  }

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override {
    const QVariantList args = call.arguments();
    if (call.member() == u"Register") {
      registered = args.value(0).toString();
      return bus_.send(call.createReply());
    }
    if (call.interface() != kShortcuts || !offersShortcuts)
      return bus_.send(call.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no such method")));
    const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
    const QString sender = call.service().mid(1).replace(u'.', u'_');
    const QString request = kPath + "/request/" + sender + "/" + options.value("handle_token").toString();
    QVariantMap results;
    uint response = 0;
    if (call.member() == u"CreateSession") {
      results["session_handle"] = kPath + "/session/" + sender + "/" + options.value("session_handle_token").toString();
    } else {
      const QDBusArgument list = args.value(1).value<QDBusArgument>();
      list.beginArray();
      while (!list.atEnd()) {
        std::pair<QString, QVariantMap> shortcut;
        list.beginStructure();
        list >> shortcut.first >> shortcut.second;
        list.endStructure();
        bound.push_back(shortcut);
      }
      list.endArray();
      response = bindResponse;
    }
    QDBusMessage answer = QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
    answer << response << results;
    return bus_.send(answer) && bus_.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
  }

 private:
  QString name_ = connectionName();
  QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
};

struct PortalShortcutTest : testing::Test {
  void SetUp() override {
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
  }
  ~PortalShortcutTest() override { QDBusConnection::disconnectFromBus(name); }
  // Until the shortcut has an answer, the event loop turning.
  PortalShortcut::State settled(PortalShortcut& shortcut) {
    shortcut.start();
    pumpUntil([&] { return shortcut.state() >= PortalShortcut::State::bound; });
    return shortcut.state();
  }

  fakes::Rig rig;
  std::shared_ptr<AppDelegate> delegate = rig.launch();
  QString name = connectionName();
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
};

TEST_F(PortalShortcutTest, BindsOneShortcutWithNoKeyAndOpensAsTheCommandDoes) {
  FakePortal portal(true);
  int activations = 0;
  PortalShortcut shortcut(bus, kAppId, [&] { ++activations, delegate->openFromKeyboard(); });
  ASSERT_EQ(settled(shortcut), PortalShortcut::State::bound);
  EXPECT_EQ(portal.registered, kAppId);
  ASSERT_EQ(portal.bound.size(), 1u);
  EXPECT_EQ(portal.bound[0].first, "open");
  // A description and no preferred trigger: the user picks the key.
  EXPECT_EQ(portal.bound[0].second, (QVariantMap{{"description", "Open the clipboard history"}}));

  portal.activate(kPath + "/session/another/program", "open");
  portal.activate(shortcut.sessionHandle(), "another shortcut");
  portal.activate(shortcut.sessionHandle(), "open");  // after the others, from the same sender
  ASSERT_TRUE(pumpUntil([&] { return activations > 0; }));
  EXPECT_TRUE(activations == 1 && delegate->keyboardOpen() && rig.overlay->takesKeyboard);
  portal.activate(shortcut.sessionHandle(), "open");  // again: closes, as --open does
  EXPECT_TRUE(pumpUntil([&] { return activations == 2; }) && !delegate->keyboardOpen());
}

TEST_F(PortalShortcutTest, ADesktopWithoutItIsNoFaultAndAFailureIsOneLine) {
  struct Case {
    const char* name;
    bool portal, offersShortcuts;
    uint bindResponse;
    PortalShortcut::State end;
    int linesSaid;
  };
  for (const Case& c : {Case{"no portal", false, false, 0, PortalShortcut::State::unavailable, 0},
                        Case{"a portal without the interface", true, false, 0, PortalShortcut::State::unavailable, 0},
                        Case{"the user declined", true, true, 1, PortalShortcut::State::refused, 0},
                        Case{"the portal failed", true, true, 2, PortalShortcut::State::refused, 1}}) {
    std::optional<FakePortal> portal;
    if (c.portal) portal.emplace(c.offersShortcuts), portal->bindResponse = c.bindResponse;
    bool opened = false;
    PortalShortcut shortcut(bus, kAppId, [&] { opened = true; });
    testing::internal::CaptureStderr();
    const PortalShortcut::State end = settled(shortcut);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(end, c.end) << c.name;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.linesSaid) << c.name << ": " << said;
    if (!portal) continue;
    portal->activate(shortcut.sessionHandle().isEmpty() ? kPath : shortcut.sessionHandle(), "open");
    // A reply from the portal comes after the signal it sent before it.
    QDBusPendingCall ping = bus.asyncCall(
        QDBusMessage::createMethodCall(portal->uniqueName(), "/", "org.freedesktop.DBus.Peer", "Ping"));
    pumpUntil([&] { return ping.isFinished(); });
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened) << c.name;
  }
}

}  // namespace
}  // namespace tuckshelf
