#include "history/clip_item.h"

namespace tuckshelf {

ClipItem::ClipItem(std::optional<QString> text_, std::shared_ptr<const ClipImage> image_,
                   std::shared_ptr<const ClipFormats> formats_)
    : text(std::move(text_)),
      image(std::move(image_)),
      formats(std::move(formats_)),
      key(makeKey(text, image.get(), formats.get())) {}

ClipKey ClipItem::makeKey(const std::optional<QString>& text, const ClipImage* image, const ClipFormats* formats) {
  const std::optional<std::int64_t> rich = formats ? formats->richDigest() : std::nullopt;
  // A text key holds the text itself, so the digest follows a character no
  // captured text holds: a line feed.
  const QString richPart = rich ? QStringLiteral("\nf:%1").arg(*rich) : QString();
  if (text) return ClipKey(QStringLiteral("t:"), *text, richPart);
  if (image && image->digest()) {
    const auto& d = *image->digest();
    return ClipKey(QStringLiteral("i:%1:%2").arg(d.length).arg(d.hash) + richPart);
  }
  if (rich) return ClipKey(QStringLiteral("f:%1").arg(*rich));
  return ClipKey(QStringLiteral("?"));
}

}  // namespace tuckshelf
