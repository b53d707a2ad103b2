#include "service/dbus_service.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QImage>
#include <QTimer>
#include <cstdio>

#include "app/app_delegate.h"
#include "listview/accessible_names.h"
#include "listview/history_layout.h"

namespace tuckshelf {
namespace {

constexpr const char* kInterface = "io.github.tuckshelf.Tuckshelf1";
// A row's thumbnail is 22 px: this box keeps it crisp up to four times that.
constexpr int kThumbnailBox = 88;

QByteArray pngThumbnail(const ClipImage& image) {
  QImage small = image.thumbnail();
  if (small.isNull()) return {};
  if (small.width() > kThumbnailBox || small.height() > kThumbnailBox)
    small = small.scaled(kThumbnailBox, kThumbnailBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  small.save(&buffer, "PNG");
  return png;
}

}  // namespace

QString dbusClipId(const QString& key) {
  return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

DBusService::DBusService(AppDelegate& delegate, std::function<void()> quit)
    : delegate_(delegate), quit_(std::move(quit)), lastUnpasted_(delegate.unpasted()) {
  qDBusRegisterMetaType<DBusClip>();
  qDBusRegisterMetaType<DBusClips>();
  delegate_.setChangeHandler([this] { delegateChanged(); });
  delegate_.setOpenElsewhereHandler([this] { emit OpenRequested(); });
}

DBusService::~DBusService() {
  delegate_.setChangeHandler({});
  delegate_.setOpenElsewhereHandler({});
}

bool DBusService::publish(QDBusConnection bus) {
  if (!bus.isConnected()) return false;  // --clear and --quit have their own way
  if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableContents)) return false;
  if (bus.registerService(kServiceName)) {
    bus_ = bus;
    return true;
  }
  bus.unregisterObject(kObjectPath);
  std::fprintf(stderr, "tuckshelf: a copy on another display holds %s on the session bus; running without it\n",
               kServiceName);
  return false;
}

bool DBusService::Unpasted() const { return delegate_.unpasted(); }

DBusClips DBusService::GetClips() const {
  DBusClips clips;
  for (const ClipItem& item : delegate_.history()) {
    const RowKind kind = rowKind(item);
    const bool picture = kind == RowKind::picture;
    clips.push_back({dbusClipId(item.key.toString()),
                     picture                     ? QStringLiteral("image")
                     : kind == RowKind::files ? QStringLiteral("files")
                                              : QStringLiteral("text"),
                     displayText(item), picture ? pngThumbnail(*item.image) : QByteArray()});
  }
  return clips;
}

QStringList DBusService::GetAccessibleNames() const {
  const History& history = delegate_.history();
  QStringList names;
  for (std::size_t i = 0; i < history.size(); ++i) names << accessibleRowName(history[i], i, history.size());
  return names;
}

double DBusService::GetLayout(double& content_height, QList<double>& row_heights) {
  const ListSizing sizing = delegate_.listSizing();
  content_height = sizing.contentH;
  row_heights = QList<double>(sizing.rowHeights.begin(), sizing.rowHeights.end());
  return sizing.width;
}

std::int64_t DBusService::indexOf(const QString& id) {
  const History& history = delegate_.history();
  for (std::size_t i = 0; i < history.size(); ++i)
    if (dbusClipId(history[i].key.toString()) == id) return std::int64_t(i);
  if (calledFromDBus())
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no clip has the id \"%1\" now").arg(id));
  return -1;
}

void DBusService::Restore(const QString& id) {
  if (const std::int64_t index = indexOf(id); index >= 0) delegate_.selectAction(index);
}

void DBusService::Remove(const QString& id) {
  if (const std::int64_t index = indexOf(id); index >= 0) delegate_.deleteAction(index);
}

void DBusService::Open() { delegate_.openFromKeyboard(); }

void DBusService::Clear() { delegate_.clearHistory(); }

// After the reply has gone out.
void DBusService::Quit() {
  QTimer::singleShot(0, this, [this] { quit_(); });
}

void DBusService::Attach() {
  const QString caller = calledFromDBus() ? message().service() : QString();
  if (caller != attached_) {
    attached_ = caller;
    // The Shell may go without a word (a crash, a restart): then the
    // program draws again.
    attachedWatcher_ = std::make_unique<QDBusServiceWatcher>(caller, bus_,
                                                             QDBusServiceWatcher::WatchForUnregistration);
    connect(attachedWatcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& name) { detachFrom(name); });
  }
  delegate_.setDrawnElsewhere(true);
}

void DBusService::Detach() { detachFrom(calledFromDBus() ? message().service() : QString()); }

void DBusService::detachFrom(const QString& caller) {
  if (caller != attached_) return;
  attached_.clear();
  if (attachedWatcher_) attachedWatcher_.release()->deleteLater();  // may be reporting now
  delegate_.setDrawnElsewhere(false);
}

// One Changed for all that one operation changed.
void DBusService::delegateChanged() {
  if (std::exchange(changePending_, true)) return;
  QTimer::singleShot(0, this, [this] { emitChanged(); });
}

void DBusService::emitChanged() {
  changePending_ = false;
  emit Changed();
  const bool unpasted = delegate_.unpasted();
  if (unpasted == std::exchange(lastUnpasted_, unpasted)) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kInterface) << QVariantMap{{QStringLiteral("Unpasted"), unpasted}} << QStringList();
  bus_.send(signal);
}

}  // namespace tuckshelf
