#include "listview/accessible_names.h"

#include "history/clip_image.h"
#include "listview/history_layout.h"

namespace tuckshelf {
namespace {

constexpr qsizetype kSpokenChars = 200;

// Line breaks and runs of spaces read as one pause; a cut falls between
// characters, never inside a surrogate pair.
QString spoken(const QString& text) {
  QString line = text.left(kSpokenChars * 4).simplified();
  if (line.size() <= kSpokenChars) return line;
  qsizetype cut = kSpokenChars;
  if (line.at(cut - 1).isHighSurrogate()) --cut;
  return line.left(cut) + QChar(0x2026);
}

}  // namespace

QString accessibleRowName(const ClipItem& item, std::size_t index, std::size_t count) {
  QString what;
  if (rowKind(item) == RowKind::files)
    what = QStringLiteral("Files, ") + spoken(displayText(item));
  else if (item.text)
    what = spoken(*item.text);
  else if (item.image)
    what = QStringLiteral("Picture, %1 by %2").arg(item.image->size().width()).arg(item.image->size().height());
  else
    what = QStringLiteral("Empty");
  return QStringLiteral("Clip %1 of %2: %3").arg(index + 1).arg(count).arg(what);
}

QString accessibleDotState(bool unpasted) { return unpasted ? QStringLiteral("copied, not pasted") : QString(); }

}  // namespace tuckshelf
