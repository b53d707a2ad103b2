#pragma once

#include <QFont>
#include <QWidget>

#include "overlay/overlay_window.h"

namespace tuckshelf {

// The panel's one-line message, centred, white at the message's alpha
// and slanted by shearing the glyphs about the baseline (a synthetic
// oblique: the face stays upright, as an italic one would not).
class HoverViewLabel : public QWidget {
  Q_OBJECT
 public:
  explicit HoverViewLabel(QFont font, QWidget* parent = nullptr);

  void setText(const LabelText& text);
  const LabelText& text() const { return text_; }
  // The height of one line of the font.
  int lineHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont font_;
  LabelText text_;
};

}  // namespace tuckshelf
