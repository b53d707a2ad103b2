#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <memory>
#include <vector>

#include "history/clip_image.h"

namespace tuckshelf {

// Lets QImageReader allocate pictures of up to `maxPixels` at four bytes a
// pixel. The limit is process-wide, so this only ever raises it.
void allowImagesUpTo(qint64 maxPixels);

// Decodes a copied picture in any format Qt reads, refusing it from its
// header when it has more than `maxPixels`. Null when refused or
// undecodable. Safe to run off the GUI thread; PNG input is kept as it
// came, other formats are kept as PNG.
std::shared_ptr<const ClipImage> decodeClipboardImage(const QByteArray& encoded, qint64 maxPixels);

// The PNG bytes of `image`: its own when they are PNG, else converted.
// Empty when there is nothing to convert.
QByteArray pngBytesOf(const ClipImage& image);

bool isPng(const QByteArray& bytes);

// The picture formats Qt decodes, as MIME types, lossless ones first.
std::vector<QByteArray> imageMimeTypesBestFirst();

}  // namespace tuckshelf
