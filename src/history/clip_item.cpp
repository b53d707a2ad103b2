#include "history/clip_item.h"

namespace tuckshelf {

ClipItem::ClipItem(std::optional<QString> text_, std::shared_ptr<const ClipImage> image_,
                   std::shared_ptr<const ClipFormats> formats_)
    : text(std::move(text_)),
      image(std::move(image_)),
      formats(std::move(formats_)),
      key(makeKey(text, image.get(), formats.get())) {}

QString ClipItem::textKey(const QString& text) { return QStringLiteral("t:") + text; }

QString ClipItem::makeKey(const std::optional<QString>& text, const ClipImage* image, const ClipFormats* formats) {
  const std::optional<std::int64_t> rich = formats ? formats->richDigest() : std::nullopt;
  // A text key holds the text itself, so the digest follows a character no
  // captured text holds: a line feed.
  const QString richPart = rich ? QStringLiteral("\nf:%1").arg(*rich) : QString();
  if (text) return textKey(*text) + richPart;
  if (image && image->digest()) {
    const auto& d = *image->digest();
    return QStringLiteral("i:%1:%2").arg(d.length).arg(d.hash) + richPart;
  }
  if (rich) return QStringLiteral("f:%1").arg(*rich);
  return QStringLiteral("?");
}

bool keysEqual(const QString& a, const QString& b) {
  if (a == b) return true;
  // Composed and decomposed forms of the same text are the same key.
  return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

}  // namespace tuckshelf
