#pragma once

#include <QWidget>

namespace tuckshelf {

// The teal "not pasted yet" dot. At rest the window is cut to exactly
// this disc's pixels, so it is painted hard-edged to match; on the black
// backdrop it is painted smooth.
class HoverViewDot : public QWidget {
  Q_OBJECT
 public:
  explicit HoverViewDot(QWidget* parent = nullptr);

  void setSmooth(bool smooth);
  static QColor colour();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool smooth_ = false;
};

}  // namespace tuckshelf
