#pragma once

#include <QPainterPath>
#include <QWidget>

namespace tuckshelf {

// A row's remove button: a cross knocked out of a filled circle, so the
// row's highlight shows through the cross. The row decides what a press
// means (its hit rule reaches a little beyond this widget), so this
// widget never takes the pointer itself.
class RowViewButton : public QWidget {
  Q_OBJECT
 public:
  explicit RowViewButton(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPainterPath glyph_;
};

}  // namespace tuckshelf
