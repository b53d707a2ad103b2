#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "history/clip_image.h"

namespace tuckshelf {

// One history entry. Entries are compared by key only.
struct ClipItem {
  ClipItem(std::optional<QString> text, std::shared_ptr<const ClipImage> image);

  std::optional<QString> text;
  std::shared_ptr<const ClipImage> image;  // shared by copies, never copied
  QString key;

  static QString textKey(const QString& text);
  static QString makeKey(const std::optional<QString>& text, const ClipImage* image);
};

// Keys are equal when they are canonically equivalent Unicode strings.
bool keysEqual(const QString& a, const QString& b);

}  // namespace tuckshelf
