#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QString>

namespace tuckshelf {

// One clip as the D-Bus interface tells it: (id, kind, text, thumbnail).
struct DBusClip {
  QString id;
  QString kind;         // "text", "image" or "files"
  QString text;         // what the clip's row shows: for files, their names
  QByteArray thumbnail;  // PNG, a picture's only
};
using DBusClips = QList<DBusClip>;

QDBusArgument& operator<<(QDBusArgument& out, const DBusClip& clip);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusClip& clip);

}  // namespace tuckshelf

Q_DECLARE_METATYPE(tuckshelf::DBusClip)
