#include "platform/qt/qt_clip_offers.h"

#include <algorithm>

#include "platform/qt/qt_clipboard_image.h"

namespace tuckshelf {
namespace {

bool has(const std::vector<ClipFormat>& offers, const QByteArray& name) {
  for (const ClipFormat& o : offers)
    if (o.name == name) return true;
  return false;
}

}  // namespace

std::vector<ClipFormat> clipOffers(const std::optional<QString>& text, const ClipImage* image,
                                   const ClipFormats* formats) {
  std::vector<ClipFormat> offers = formats ? formats->list() : std::vector<ClipFormat>();
  const auto add = [&](const QByteArray& name, const QByteArray& data, const QByteArray& type = {}) {
    if (!has(offers, name)) offers.push_back({name, data, type});
  };
  if (text) {
    // The text as copied, line ends and all, rather than as the row shows it.
    QByteArray utf8;
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8"})
      if (const ClipFormat* copied = formats ? formats->find(name) : nullptr) utf8 = copied->data;
    if (utf8.isNull()) utf8 = text->toUtf8();
    add("text/plain;charset=utf-8", utf8);
    add("UTF8_STRING", utf8);
    add("text/plain", utf8);
    add("TEXT", utf8, "UTF8_STRING");
    // ASCII is its own Latin-1, and then shares the bytes above; otherwise
    // converted from a named string, since a temporary's conversion keeps
    // its twice-as-large buffer.
    if (std::all_of(utf8.cbegin(), utf8.cend(), [](char c) { return uchar(c) < 0x80; })) {
      add("STRING", utf8);
    } else {
      const QString decoded = QString::fromUtf8(utf8);
      add("STRING", decoded.toLatin1());
    }
  }
  if (image && !image->encoded().isEmpty()) {
    const QByteArray mimeType = image->mimeType().toUtf8();
    if (!isPng(image->encoded()) && mimeType.startsWith("image/") && mimeType != "image/png")
      add(mimeType, image->encoded());
    // Most programs paste only PNG; converted once here, not at each paste.
    if (!has(offers, "image/png")) {
      const QByteArray png = pngBytesOf(*image);
      if (!png.isEmpty()) add("image/png", png);
    }
  }
  return offers;
}

}  // namespace tuckshelf
