#pragma once

#include <QString>

namespace tuckshelf {

// An entry's identity: "t:" and its text, "i:N:H" for a picture, either
// followed by "\nf:D" when formats beyond these came with it, "f:D" for
// files alone, and "?" for nothing. It reads as that one string, but a text
// key shares the entry's text instead of copying it, so that the history
// holds each text once.
class ClipKey {
 public:
  ClipKey() = default;
  explicit ClipKey(QString head, QString text = {}, QString tail = {});

  QString toString() const { return head_ + text_ + tail_; }
  qsizetype size() const { return head_.size() + text_.size() + tail_.size(); }
  bool isEmpty() const { return size() == 0; }

  // Equal as strings, character for character.
  friend bool operator==(const ClipKey& a, const ClipKey& b);
  friend bool operator==(const ClipKey& a, const QString& b);
  // Keys are equal when they are canonically equivalent Unicode strings.
  friend bool keysEqual(const ClipKey& a, const ClipKey& b);

 private:
  QString head_;
  QString text_;
  QString tail_;
};

}  // namespace tuckshelf
