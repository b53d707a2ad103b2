#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace tuckshelf {

// A copied picture as the history keeps it: the encoded bytes that a click
// writes back, a thumbnail that a row shows, and the digest of its
// lossless encoding that its key is made from. The decoded original is
// not kept.
class ClipImage {
 public:
  struct Digest {
    std::int64_t length = 0;  // bytes of the lossless encoding
    std::int64_t hash = 0;    // hash of all of those bytes
  };

  // Largest side of the kept thumbnail: the tallest row's thumbnail.
  static constexpr int kThumbnailSide = 322;

  // From a decoded picture. `encoded` with its `mimeType` is what a click
  // writes back; when empty, a PNG is made from `decoded`.
  static std::shared_ptr<const ClipImage> fromImage(const QImage& decoded,
                                                   QByteArray encoded = {},
                                                   QString mimeType = {});

  // For tests and for pictures that cannot be encoded.
  ClipImage(QSize size, QImage thumbnail, QByteArray encoded, QString mimeType,
            std::optional<Digest> digest);

  QSize size() const { return size_; }
  const QImage& thumbnail() const { return thumbnail_; }
  const QByteArray& encoded() const { return encoded_; }
  const QString& mimeType() const { return mimeType_; }
  // None when the picture has no lossless encoding (a null image).
  const std::optional<Digest>& digest() const { return digest_; }

  // The lossless encoding the digest covers: width and height as two
  // little-endian 32-bit numbers, then the pixels as 8-bit RGBA rows.
  static std::optional<Digest> digestOf(const QImage& decoded);

 private:
  QSize size_;
  QImage thumbnail_;
  QByteArray encoded_;
  QString mimeType_;
  std::optional<Digest> digest_;
};

}  // namespace tuckshelf
