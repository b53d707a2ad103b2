#pragma once

#include <cstddef>
#include <vector>

#include <QStringList>

#include "history/clip_item.h"

namespace tuckshelf {

// Newest first.
using History = std::vector<ClipItem>;

inline const QString kHistoryKey = QStringLiteral("tuckshelf.history.text");

// Puts `item` at the front, taking out the first entry with an equal key,
// then cuts the list to `maxHistory` entries. The newest entry's own text
// or picture, without its other formats, leaves the history as it is.
void recordInto(History& history, ClipItem item, std::size_t maxHistory);

// The texts of the entries that have one, in history order.
QStringList storedTexts(const History& history);

// One text entry per stored string, in order, exactly as stored.
History historyFromStoredTexts(const QStringList& texts);

}  // namespace tuckshelf
