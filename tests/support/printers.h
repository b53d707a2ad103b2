#pragma once

// Readable values in test failures.

#include <ostream>

#include <QString>

#include "platform/geometry.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tuckshelf {

inline void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
inline void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}

}  // namespace tuckshelf
