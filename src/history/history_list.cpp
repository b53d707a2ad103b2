#include "history/history_list.h"

#include <algorithm>

namespace tuckshelf {

void recordInto(History& history, ClipItem item, std::size_t maxHistory) {
  // A copy that gives the newest entry's text or picture again and nothing
  // more is that entry: GNOME's own clipboard keeper offers a quitting
  // program's text alone, which would stand as a second row beside it.
  if (!history.empty()) {
    const ClipItem& newest = history.front();
    if (!keysEqual(newest.key, item.key) && keysEqual(ClipItem::makeKey(newest.text, newest.image.get()), item.key))
      return;
  }
  auto same = std::find_if(history.begin(), history.end(),
                           [&](const ClipItem& e) { return keysEqual(e.key, item.key); });
  if (same != history.end()) history.erase(same);
  history.insert(history.begin(), std::move(item));
  if (history.size() > maxHistory) history.erase(history.begin() + maxHistory, history.end());
}

QStringList storedTexts(const History& history) {
  QStringList texts;
  for (const ClipItem& e : history)
    if (e.text) texts.append(*e.text);
  return texts;
}

History historyFromStoredTexts(const QStringList& texts) {
  History history;
  history.reserve(texts.size());
  for (const QString& s : texts) history.emplace_back(s, nullptr);
  return history;
}

}  // namespace tuckshelf
