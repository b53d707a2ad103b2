#pragma once

#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace tuckshelf {

// The pure steps of reading and writing the defaults file, apart from any
// file so that they can be tried on arbitrary bytes.

// The JSON object that `bytes` hold; none when they are not valid JSON or
// their top level is not an object.
std::optional<QJsonObject> parseSettingsObject(const QByteArray& bytes);

// `value` as a list of strings; none when it is not an array or holds
// anything but strings.
std::optional<QStringList> stringListFrom(const QJsonValue& value);

// The file's bytes for `object`: indented JSON that parseSettingsObject
// reads back to an equal object, every string exactly as it was.
QByteArray settingsFileBytes(const QJsonObject& object);

}  // namespace tuckshelf
