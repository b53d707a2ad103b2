#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "history/clip_formats.h"
#include "history/clip_image.h"

namespace tuckshelf {

// What this program offers on the clipboard for a clip: every captured
// format byte for byte, then the usual names of plain text (from the text
// as copied, when it was) and a PNG of the picture, where missing.
std::vector<ClipFormat> clipOffers(const std::optional<QString>& text, const ClipImage* image,
                                   const ClipFormats* formats);

}  // namespace tuckshelf
