#include "history/clip_item.h"

namespace tuckshelf {

ClipItem::ClipItem(std::optional<QString> text_, std::shared_ptr<const ClipImage> image_)
    : text(std::move(text_)), image(std::move(image_)), key(makeKey(text, image.get())) {}

QString ClipItem::textKey(const QString& text) { return QStringLiteral("t:") + text; }

QString ClipItem::makeKey(const std::optional<QString>& text, const ClipImage* image) {
  if (text) return textKey(*text);
  if (image && image->digest()) {
    const auto& d = *image->digest();
    return QStringLiteral("i:%1:%2").arg(d.length).arg(d.hash);
  }
  return QStringLiteral("?");
}

bool keysEqual(const QString& a, const QString& b) {
  if (a == b) return true;
  // Composed and decomposed forms of the same text are the same key.
  return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

}  // namespace tuckshelf
