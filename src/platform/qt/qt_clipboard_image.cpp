#include "platform/qt/qt_clipboard_image.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>

namespace tuckshelf {
namespace {

// Lossless formats first: a copy from one of them keeps every pixel.
constexpr const char* kPreferredImageTypes[] = {"image/png",  "image/bmp",  "image/tiff",
                                                "image/webp", "image/jpeg", "image/gif"};

}  // namespace

void allowImagesUpTo(qint64 maxPixels) {
  const qint64 megabytes = (maxPixels * 4 + (1 << 20) - 1) >> 20;
  const int current = QImageReader::allocationLimit();
  if (current != 0 && current < megabytes) QImageReader::setAllocationLimit(int(megabytes));
}

bool isPng(const QByteArray& bytes) { return bytes.startsWith("\x89PNG\r\n\x1a\n"); }

std::shared_ptr<const ClipImage> decodeClipboardImage(const QByteArray& encoded, qint64 maxPixels) {
  QByteArray copy = encoded;  // QBuffer wants a mutable array; this only shares it
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);  // the format is sniffed from the bytes
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  const auto tooLarge = [maxPixels](QSize s) { return qint64(s.width()) * s.height() > maxPixels; };
  // Refused before any pixel memory is taken.
  if (size.isValid() && tooLarge(size)) return nullptr;
  const bool png = reader.format() == "png";
  const QImage decoded = reader.read();
  if (decoded.isNull() || tooLarge(decoded.size())) return nullptr;
  if (png) return ClipImage::fromImage(decoded, encoded, QStringLiteral("image/png"));
  return ClipImage::fromImage(decoded);  // kept as PNG
}

QByteArray pngBytesOf(const ClipImage& image) {
  if (isPng(image.encoded())) return image.encoded();
  const QImage decoded = QImage::fromData(image.encoded());
  if (decoded.isNull()) return {};
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  decoded.save(&buffer, "PNG");
  return png;
}

std::vector<QByteArray> imageMimeTypesBestFirst() {
  const QList<QByteArray> supported = QImageReader::supportedMimeTypes();
  std::vector<QByteArray> ordered;
  for (const char* type : kPreferredImageTypes)
    if (supported.contains(type)) ordered.emplace_back(type);
  for (const QByteArray& type : supported)
    if (type.startsWith("image/") && std::find(ordered.begin(), ordered.end(), type) == ordered.end())
      ordered.push_back(type);
  return ordered;
}

}  // namespace tuckshelf
