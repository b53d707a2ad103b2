#pragma once

#include <optional>

#include <QImage>
#include <QRectF>
#include <QWidget>

#include "listview/row_layout.h"
#include "overlay/overlay_window.h"
#include "platform/geometry.h"

namespace tuckshelf {

class RowViewButton;
class RowViewLabel;

// A frame from a row's y-up coordinates in Qt's top-left ones.
QRectF toTopLeft(const Rect& frame, double rowHeight);

enum class RowHit { none, row, button };

// One entry of the open list: thumbnail, text and, while the pointer is
// over the row, a highlight and a remove button. A press on the row and
// a release anywhere selects; a press and release on the button removes.
class RowView : public QWidget {
  Q_OBJECT
 public:
  explicit RowView(RowContent setup, QWidget* parent = nullptr);
  ~RowView() override;

  // What a press at `point` (row coordinates, top-left origin) acts on.
  RowHit hitAt(QPointF point) const;

  bool isHighlighted() const { return hovered_ || keyHighlighted_; }
  // The row the keys act on: highlighted, with its remove button, as
  // under the pointer, and the screen reader's focus.
  void setKeyHighlighted(bool on);
  bool isKeyHighlighted() const { return keyHighlighted_; }
  QWidget* removeButton() const;
  RowViewLabel* label() const { return label_; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // A picture's thumbnail, or a file icon for files.
  bool hasThumbnail() const;
  QImage fileIcon(QSizeF size) const;
  void setHovered(bool on);
  void showHighlight();
  QRectF buttonFrame() const;

  RowContent setup_;
  RowViewLabel* label_;
  RowViewButton* button_;
  bool hovered_ = false;
  bool keyHighlighted_ = false;
  RowHit pressed_ = RowHit::none;
  QRectF thumbnailFrame_;
  QImage thumbnail_;  // scaled to the frame at the pixel ratio it was last painted at
};

}  // namespace tuckshelf
