#include "history/clip_key.h"

namespace tuckshelf {

ClipKey::ClipKey(QString head, QString text, QString tail)
    : head_(std::move(head)), text_(std::move(text)), tail_(std::move(tail)) {}

bool operator==(const ClipKey& a, const ClipKey& b) {
  if (a.size() != b.size()) return false;
  if (a.head_ == b.head_ && a.tail_ == b.tail_) return a.text_ == b.text_;
  return a.toString() == b.toString();
}

bool operator==(const ClipKey& a, const QString& b) {
  const QStringView rest(b);
  return a.size() == b.size() && rest.startsWith(a.head_) && rest.endsWith(a.tail_) &&
         rest.sliced(a.head_.size(), a.text_.size()) == a.text_;
}

bool keysEqual(const ClipKey& a, const ClipKey& b) {
  if (a == b) return true;
  // Every key starts with an ASCII letter or "?", which decomposition leaves
  // in place: keys of two kinds never match.
  if (a.head_.isEmpty() || b.head_.isEmpty() || a.head_[0] != b.head_[0]) return false;
  constexpr auto nfd = QString::NormalizationForm_D;
  // The head and tail end and start with characters nothing combines with
  // or reorders across, so texts between equal ones compare alone.
  if (a.head_ == b.head_ && a.tail_ == b.tail_) return a.text_.normalized(nfd) == b.text_.normalized(nfd);
  return a.toString().normalized(nfd) == b.toString().normalized(nfd);
}

}  // namespace tuckshelf
