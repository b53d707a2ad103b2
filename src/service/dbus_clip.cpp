#include "service/dbus_clip.h"

namespace tuckshelf {

QDBusArgument& operator<<(QDBusArgument& out, const DBusClip& clip) {
  out.beginStructure();
  out << clip.id << clip.kind << clip.text << clip.thumbnail;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusClip& clip) {
  in.beginStructure();
  in >> clip.id >> clip.kind >> clip.text >> clip.thumbnail;
  in.endStructure();
  return in;
}

}  // namespace tuckshelf
