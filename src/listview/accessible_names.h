#pragma once

#include <cstddef>

#include <QString>

#include "history/clip_item.h"

namespace tuckshelf {

// What a screen reader reads for the row of `item`, at `index` (0: newest)
// of `count`: "Clip 1 of 5: Meeting moved to Thursday", or for a picture
// "Clip 2 of 5: Picture, 1920 by 1080". Long texts are cut: nobody listens
// to a whole log file.
QString accessibleRowName(const ClipItem& item, std::size_t index, std::size_t count);

// The panel's description: the dot's state.
QString accessibleDotState(bool unpasted);

}  // namespace tuckshelf
