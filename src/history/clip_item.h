#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "history/clip_formats.h"
#include "history/clip_image.h"
#include "history/clip_key.h"

namespace tuckshelf {

// One history entry. Entries are compared by key only.
struct ClipItem {
  ClipItem(std::optional<QString> text, std::shared_ptr<const ClipImage> image,
           std::shared_ptr<const ClipFormats> formats = nullptr);

  std::optional<QString> text;
  std::shared_ptr<const ClipImage> image;  // shared by copies, never copied
  // Every format as copied, which a restore offers again; none for texts
  // loaded from the store and for this program's own writes.
  std::shared_ptr<const ClipFormats> formats;
  ClipKey key;

  // The files of the clip, when a file manager copied them.
  QStringList fileNames() const { return formats ? formats->fileNames() : QStringList(); }

  // The text's or the picture's key; formats beyond plain text and pictures
  // add their digest, so the same text with other formatting is another
  // entry. Files alone key by that digest.
  static ClipKey makeKey(const std::optional<QString>& text, const ClipImage* image,
                         const ClipFormats* formats = nullptr);
};

}  // namespace tuckshelf
