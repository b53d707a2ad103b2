// The program's D-Bus interface, spoken to over a private session bus as
// another program would: the interface its file describes, the history and
// its actions by id, one change signal an operation, and the drawing given
// to a client and taken back when it leaves.

#include "service/dbus_service.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QFile>
#include <QXmlStreamReader>
#include <set>

#include "event_loop_wait.h"
#include "fakes.h"

namespace tuckshelf {
namespace {

const QString kInterface = QStringLiteral("io.github.tuckshelf.Tuckshelf1");

// The interface's members as "method Name(in s, out d)", "signal Name()",
// "property Name b read": names, types and directions, not argument names.
std::set<QString> membersOf(const QString& xml) {
  std::set<QString> members;
  QXmlStreamReader reader(xml);
  bool inside = false;
  QString member;
  QStringList args;
  while (!reader.atEnd()) {
    reader.readNext();
    const QXmlStreamAttributes a = reader.attributes();
    const bool start = reader.isStartElement(), end = reader.isEndElement();
    const bool method = reader.name() == u"method", signal = reader.name() == u"signal";
    if (start && reader.name() == u"interface") inside = a.value("name") == kInterface;
    if (!inside) continue;
    if (start && (method || signal)) member = reader.name().toString() + " " + a.value("name").toString(), args.clear();
    if (start && reader.name() == u"arg") {
      const QString direction = a.value("direction").toString();
      args << (direction.isEmpty() && member.startsWith("method") ? "in" : direction) + " " + a.value("type").toString();
    }
    if (end && (method || signal)) members.insert(member + "(" + args.join(", ") + ")");
    if (start && reader.name() == u"property")
      members.insert(QStringList{"property", a.value("name").toString(), a.value("type").toString(),
                                 a.value("access").toString()}.join(' '));
  }
  return members;
}

class SignalCounter : public QObject {
  Q_OBJECT
 public:
  int seen = 0;
 public slots:
  void count() { ++seen; }
};

struct DBusServiceTest : testing::Test {
  void SetUp() override {
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
    ASSERT_TRUE(service->publish());
    client.connect(QString(), DBusService::kObjectPath, kInterface, "Changed", &changes, SLOT(count()));
    // A round trip through the bus after the match rule: it is in place
    // before the first change, however slow the bus is to take it.
    call("Ping", {}, "org.freedesktop.DBus.Peer");
  }

  // Calls the running service as another program, the event loop turning
  // meanwhile: the service is this process.
  QDBusMessage call(const QString& method, const QVariantList& args = {}, const QString& interface = kInterface) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(DBusService::kServiceName, DBusService::kObjectPath, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = client.asyncCall(message);
    pumpUntil([&] { return pending.isFinished(); });
    return pending.reply();
  }
  DBusClips clips() { return qdbus_cast<DBusClips>(call("GetClips").arguments().value(0)); }
  QString idOf(const QString& text) {
    for (const DBusClip& clip : clips())
      if (clip.text == text) return clip.id;
    return {};
  }
  int changesAfter(const std::function<void()>& operation) {
    const int before = changes.seen;
    operation();
    pumpUntil([&] { return changes.seen > before; });
    QCoreApplication::processEvents();  // a second signal of the same operation would be here by now
    call("Ping", {}, "org.freedesktop.DBus.Peer");
    return changes.seen - before;
  }

  fakes::Rig rig;
  std::shared_ptr<AppDelegate> delegate = rig.launch();
  bool quit = false;
  std::unique_ptr<DBusService> service = std::make_unique<DBusService>(*delegate, [this] { quit = true; });
  QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "another program");
  SignalCounter changes;

  ~DBusServiceTest() override { QDBusConnection::disconnectFromBus("another program"); }
};

TEST_F(DBusServiceTest, TheInterfaceIsTheOneItsFileDescribes) {
  QFile file(TUCKSHELF_DBUS_XML);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::set<QString> described = membersOf(QString::fromUtf8(file.readAll()));
  const QDBusMessage introspected = call("Introspect", {}, "org.freedesktop.DBus.Introspectable");
  EXPECT_GE(described.size(), 10u);
  EXPECT_EQ(membersOf(introspected.arguments().value(0).toString()), described);
}

TEST_F(DBusServiceTest, ClipsAndLayoutGoByIdAndEachOperationSignalsOnce) {
  EXPECT_EQ(changesAfter([&] { rig.copied("one"); }), 1);
  rig.clipboard.copyFormats("two", {{"text/uri-list", "file:///tmp/two.pdf"}}), rig.clipboard.report();
  rig.clipboard.copyImage(ClipImage::fromImage(QImage(40, 30, QImage::Format_RGB32)));
  rig.clipboard.report();
  const DBusClips three = clips();
  ASSERT_EQ(three.size(), 3);
  EXPECT_TRUE(three[0].kind == "image" && QImage::fromData(three[0].thumbnail).size() == QSize(40, 30));
  EXPECT_TRUE(three[1].kind == "files" && three[1].text == "two.pdf" && three[1].thumbnail.isEmpty());
  EXPECT_TRUE(three[2].kind == "text" && three[2].text == "one");
  EXPECT_EQ(call("GetAccessibleNames").arguments().value(0).toStringList(),
            (QStringList{"Clip 1 of 3: Picture, 40 by 30", "Clip 2 of 3: Files, two.pdf", "Clip 3 of 3: one"}));
  const QList<QVariant> layout = call("GetLayout").arguments();
  EXPECT_EQ(layout.value(0).toDouble(), 220);
  EXPECT_EQ(layout.value(1).toDouble(), 16 + 3 * 30 + 2 * 3);

  EXPECT_EQ(changesAfter([&] { call("Restore", {idOf("one")}); }), 1);
  EXPECT_EQ(rig.clipboard.txt, QStringLiteral("one"));
  EXPECT_EQ(clips().front().text, "one");
  EXPECT_EQ(changesAfter([&] { call("Remove", {idOf("two.pdf")}); }), 1);
  EXPECT_EQ(clips().size(), 2);
  const QDBusMessage gone = call("Remove", {QStringLiteral("no such id")});
  EXPECT_EQ(gone.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(clips().size(), 2);
  EXPECT_EQ(changesAfter([&] { call("Clear"); }), 1);
  EXPECT_TRUE(clips().isEmpty() && !call("Get", {kInterface, "Unpasted"}, "org.freedesktop.DBus.Properties")
                                          .arguments()
                                          .value(0)
                                          .value<QDBusVariant>()
                                          .variant()
                                          .toBool());
  call("Quit");
  EXPECT_TRUE(pumpUntil([&] { return quit; }));
}

TEST_F(DBusServiceTest, OpenOpensForTheKeyboardOrAsksTheClientThatDraws) {
  call("Open");
  EXPECT_TRUE(delegate->keyboardOpen() && rig.overlay->takesKeyboard);
  call("Open");  // again: closes
  EXPECT_TRUE(!delegate->keyboardOpen() && !rig.overlay->takesKeyboard);
  SignalCounter asked;
  client.connect(QString(), DBusService::kObjectPath, kInterface, "OpenRequested", &asked, SLOT(count()));
  call("Attach"), call("Open");
  EXPECT_TRUE(pumpUntil([&] { return asked.seen == 1; }) && !delegate->keyboardOpen());
}

TEST_F(DBusServiceTest, AnAttachedClientDrawsUntilItLeaves) {
  {
    QDBusConnection shell = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "shell");
    QDBusPendingCall attach = shell.asyncCall(QDBusMessage::createMethodCall(
        DBusService::kServiceName, DBusService::kObjectPath, kInterface, "Attach"));
    ASSERT_TRUE(pumpUntil([&] { return attach.isFinished(); }));
  }
  EXPECT_TRUE(rig.bands.bands.empty());  // no window of the program's own
  const int built = rig.overlaysBuilt;
  QDBusConnection::disconnectFromBus("shell");  // the Shell went
  ASSERT_TRUE(pumpUntil([&] { return rig.overlaysBuilt > built; }));
  EXPECT_TRUE(!rig.bands.bands.empty() && rig.overlay->visible);

  DBusService second(*delegate, [] {});  // a copy on another display on the same bus
  EXPECT_FALSE(second.publish(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second copy")));
  QDBusConnection::disconnectFromBus("second copy");
}

}  // namespace
}  // namespace tuckshelf

#include "dbus_service_test.moc"
