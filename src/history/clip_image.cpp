#include "history/clip_image.h"

#include <QBuffer>
#include <QHashFunctions>
#include <QtEndian>

namespace tuckshelf {

ClipImage::ClipImage(QSize size, QImage thumbnail, QByteArray encoded, QString mimeType,
                     std::optional<Digest> digest)
    : size_(size),
      thumbnail_(std::move(thumbnail)),
      encoded_(std::move(encoded)),
      mimeType_(std::move(mimeType)),
      digest_(digest) {}

std::optional<ClipImage::Digest> ClipImage::digestOf(const QImage& decoded) {
  if (decoded.isNull()) return std::nullopt;
  const QImage rgba = decoded.format() == QImage::Format_RGBA8888
                          ? decoded
                          : decoded.convertToFormat(QImage::Format_RGBA8888);
  if (rgba.isNull()) return std::nullopt;  // out of memory while converting

  char header[8];
  qToLittleEndian<quint32>(quint32(rgba.width()), header);
  qToLittleEndian<quint32>(quint32(rgba.height()), header + 4);

  // Four bytes a pixel keep every row 4-aligned, so the rows are one
  // contiguous block and the whole encoding is hashed.
  const qsizetype pixelBytes = qsizetype(rgba.width()) * 4 * rgba.height();
  Q_ASSERT(rgba.bytesPerLine() == rgba.width() * 4);
  size_t h = qHash(QByteArrayView(header, sizeof header), QHashSeed::globalSeed());
  h = qHash(QByteArrayView(reinterpret_cast<const char*>(rgba.constBits()), pixelBytes), h);

  return Digest{std::int64_t(sizeof header) + pixelBytes, std::int64_t(h)};
}

std::shared_ptr<const ClipImage> ClipImage::fromImage(const QImage& decoded, QByteArray encoded,
                                                    QString mimeType) {
  if (encoded.isEmpty() && !decoded.isNull()) {
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    decoded.save(&buffer, "PNG");
    mimeType = QStringLiteral("image/png");
  }
  QImage thumbnail;
  if (!decoded.isNull()) {
    thumbnail = decoded.width() > kThumbnailSide || decoded.height() > kThumbnailSide
                    ? decoded.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio,
                                     Qt::SmoothTransformation)
                    : decoded;
    // Detach from the original so that its pixels can go.
    thumbnail = thumbnail.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  return std::make_shared<const ClipImage>(decoded.size(), std::move(thumbnail),
                                           std::move(encoded), std::move(mimeType),
                                           digestOf(decoded));
}

}  // namespace tuckshelf
