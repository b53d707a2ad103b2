#include "platform/linux/json_settings_parse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace tuckshelf {

namespace {

// The UTF-8 of U+FEFF right after a quote.
constexpr char kQuotedFeff[] = "\"\xEF\xBB\xBF";

// Qt's reader drops a raw U+FEFF right after a string's opening quote (and
// then misplaces a key that began with one among the sorted keys), so such
// a string would come back changed. Escaped it means the same in JSON and
// reads back whole. After a closing quote it is an error either way, and
// after an escaped quote it stays the same character.
QByteArray withQuotedFeffEscaped(const QByteArray& bytes) {
  if (!bytes.contains(kQuotedFeff)) return bytes;  // shared, no copy
  QByteArray escaped = bytes;
  escaped.replace(kQuotedFeff, "\"\\ufeff");
  return escaped;
}

}  // namespace

std::optional<QJsonObject> parseSettingsObject(const QByteArray& bytes) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(withQuotedFeffEscaped(bytes), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  return document.object();
}

std::optional<QStringList> stringListFrom(const QJsonValue& value) {
  if (!value.isArray()) return std::nullopt;
  QStringList list;
  const QJsonArray array = value.toArray();
  list.reserve(array.size());
  for (const QJsonValue& element : array) {
    if (!element.isString()) return std::nullopt;
    list.append(element.toString());
  }
  return list;
}

QByteArray settingsFileBytes(const QJsonObject& object) {
  QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
  // Escaped here too, so that any reader of Qt's, an older one of this
  // program's included, reads every string back whole. These bytes only
  // ever encode U+FEFF, and the writer puts non-ASCII only inside strings.
  bytes.replace("\xEF\xBB\xBF", "\\ufeff");
  return bytes;
}

}  // namespace tuckshelf
