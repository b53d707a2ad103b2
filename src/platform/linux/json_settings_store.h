#pragma once

#include <optional>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "platform/settings_store.h"

namespace tuckshelf {

// The defaults kept as one JSON object in a file of the user's own (0600, in
// a 0700 folder), replaced atomically on every write.
//
// Nothing the user had is overwritten unseen: a file that cannot be read as
// an object is renamed aside to `<file>.bad` (or `.bad.1`, `.bad.2`, ...),
// and a value of the wrong kind under a key is copied aside the same way
// before it is dropped from the file. While a bad file cannot be moved aside,
// writes are refused.
//
// Strings round-trip exactly, lone UTF-16 surrogates included (QJsonDocument
// writes them as \u escapes).
//
// A symlinked file is written through to its target (QSaveFile follows the
// link and atomically replaces the target).
class JsonSettingsStore : public SettingsStore {
 public:
  explicit JsonSettingsStore(QString filePath);

  // ${XDG_CONFIG_HOME:-$HOME/.config}/tuckshelf/defaults.json; an empty or
  // relative XDG_CONFIG_HOME counts as unset.
  static QString defaultPath();

  std::optional<QStringList> stringArray(const QString& key) override;
  void setStringArray(const QString& key, const QStringList& value) override;

  // setStringArray that says whether the value reached the disk.
  bool trySetStringArray(const QString& key, const QStringList& value);

 private:
  // The file's object with anything malformed already set aside; none when
  // something malformed could not be set aside, so must not be overwritten.
  std::optional<QJsonObject> loadObject(const QString& key);
  bool writeObject(const QJsonObject& object);

  QString path_;
  bool warnedAboutWriteFailure_ = false;
};

}  // namespace tuckshelf
