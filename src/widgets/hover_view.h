#pragma once

#include <optional>
#include <vector>

#include <QRegion>
#include <QWidget>

#include "overlay/overlay_window.h"

namespace tuckshelf {

class HoverViewDot;
class HoverViewLabel;
class RowView;

// The panel's content: a backdrop that is black while open and clear at
// rest, holding the message label, the unpasted dot and the stack of rows,
// each placed at its stored offset from the top.
class HoverView : public QWidget {
  Q_OBJECT
 public:
  explicit HoverView(const OverlaySetup& setup, QWidget* parent = nullptr);
  ~HoverView() override;

  void setBackdropBlack(bool black);
  bool isBackdropBlack() const { return black_; }
  void setLabelHidden(bool hidden);
  void setLabelText(const LabelText& text);
  void setDotHidden(bool hidden);
  void setStackHidden(bool hidden);
  void setTopOffsets(const TopOffsets& offsets);
  void setRows(std::vector<RowContent> rows);
  // The row the keys act on; none: no row.
  void setHighlightedRow(std::optional<std::size_t> row);

  // The pixels the window shows: all of the backdrop while it is black;
  // at rest only the dot, or none when the dot is hidden.
  QRegion visibleShape() const { return shape_; }

  HoverViewLabel* label() const { return label_; }
  HoverViewDot* dot() const { return dot_; }
  QWidget* stack() const { return stack_; }
  const std::vector<RowView*>& rows() const { return rows_; }

 signals:
  void shapeChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void layOut();
  void layOutStack();
  void updateShape();

  double dotSize_;
  double rowSpacing_;
  double cornerRadius_;
  TopOffsets offsets_;
  bool black_ = false;
  QRegion shape_;
  HoverViewLabel* label_;
  HoverViewDot* dot_;
  QWidget* stack_;
  std::vector<RowView*> rows_;
  std::vector<double> rowHeights_;
};

}  // namespace tuckshelf
