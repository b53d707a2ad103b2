#include "platform/linux/json_settings_store.h"

#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QtGlobal>

#include "platform/linux/json_settings_parse.h"

namespace tuckshelf {
namespace {

// Far beyond any history; a bigger file is not ours to parse into memory.
constexpr qint64 kMaxFileSize = qint64(512) * 1024 * 1024;
// Names tried for a file set aside: .bad, .bad.1, ... .bad.99.
constexpr int kMaxAsideNames = 100;

enum class FileState { Missing, Object, Malformed };

struct FileContents {
  FileState state = FileState::Missing;
  QJsonObject object;
};

FileContents readFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  // A folder, a FIFO or a huge file under our name is malformed too; a FIFO
  // would block the read forever.
  if (!info.isFile() || info.size() > kMaxFileSize) return {FileState::Malformed, {}};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {file.exists() ? FileState::Malformed : FileState::Missing, {}};
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize) {
    return {FileState::Malformed, {}};
  }
  std::optional<QJsonObject> object = parseSettingsObject(bytes);
  if (!object) return {FileState::Malformed, {}};
  return {FileState::Object, std::move(*object)};
}

enum class AsideMode { Move, Copy };

// Never replaces an earlier file set aside: the first free name is taken.
bool setAside(const QString& path, AsideMode mode) {
  for (int n = 0; n < kMaxAsideNames; ++n) {
    const QString name = n == 0 ? path + ".bad" : path + ".bad." + QString::number(n);
    const QFileInfo info(name);
    if (info.exists() || info.isSymLink()) continue;
    const bool done = mode == AsideMode::Move ? QFile::rename(path, name) : QFile::copy(path, name);
    if (!done) break;
    qWarning("tuckshelf: kept a malformed %s aside as %s", qUtf8Printable(path), qUtf8Printable(name));
    return true;
  }
  qWarning("tuckshelf: could not keep a malformed %s aside; leaving it untouched", qUtf8Printable(path));
  return false;
}

// Creates every missing folder 0700, as the XDG base directory rules ask.
bool makeFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (info.isDir()) return true;
  if (info.exists() || info.isRoot()) return false;
  if (!makeFolder(info.absolutePath())) return false;
  const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
  // Another process may have created it meanwhile.
  return QDir().mkdir(folder, ownerOnly) || QFileInfo(folder).isDir();
}

}  // namespace

JsonSettingsStore::JsonSettingsStore(QString filePath) : path_(std::move(filePath)) {}

QString JsonSettingsStore::defaultPath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.config";
  return base + "/tuckshelf/defaults.json";
}

std::optional<QStringList> JsonSettingsStore::stringArray(const QString& key) {
  const std::optional<QJsonObject> object = loadObject(key);
  if (!object) return std::nullopt;
  return stringListFrom(object->value(key));
}

void JsonSettingsStore::setStringArray(const QString& key, const QStringList& value) {
  trySetStringArray(key, value);
}

bool JsonSettingsStore::trySetStringArray(const QString& key, const QStringList& value) {
  std::optional<QJsonObject> object = loadObject(key);
  bool written = false;
  if (object) {
    object->insert(key, QJsonArray::fromStringList(value));
    written = writeObject(*object);
  }
  // One warning per run of failures, not one per clip.
  if (!written && !warnedAboutWriteFailure_) {
    qWarning("tuckshelf: could not save %s; the history is kept in memory only", qUtf8Printable(path_));
  }
  warnedAboutWriteFailure_ = !written;
  return written;
}

std::optional<QJsonObject> JsonSettingsStore::loadObject(const QString& key) {
  FileContents contents = readFile(path_);
  switch (contents.state) {
    case FileState::Missing:
      return QJsonObject();
    case FileState::Malformed:
      if (!setAside(path_, AsideMode::Move)) return std::nullopt;
      return QJsonObject();
    case FileState::Object:
      break;
  }
  QJsonObject& object = contents.object;
  if (object.contains(key) && !stringListFrom(object.value(key))) {
    // Copied rather than moved, so the other keys stay in place throughout.
    if (!setAside(path_, AsideMode::Copy)) return std::nullopt;
    object.remove(key);
    // Without the bad value in the file, the next read does not copy it again.
    writeObject(object);
  }
  return std::move(object);
}

bool JsonSettingsStore::writeObject(const QJsonObject& object) {
  if (!makeFolder(QFileInfo(path_).absolutePath())) return false;
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = settingsFileBytes(object);
  // Set on every write: a new file would follow the umask, and a rewrite
  // would copy whatever mode the old file had been given.
  return file.write(bytes) == bytes.size() &&
         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && file.commit();
}

}  // namespace tuckshelf
