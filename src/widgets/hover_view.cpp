#include "widgets/hover_view.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "widgets/hover_view_dot.h"
#include "widgets/hover_view_label.h"
#include "widgets/hover_view_shape.h"
#include "platform/qt/qt_text_measurer.h"
#include "widgets/row_view.h"

namespace tuckshelf {
namespace {

constexpr int kLabelInset = 16;
constexpr int kDotInset = 16;
// Offsets and sizes beyond this are nonsense; clamping them keeps the
// rounding to int defined.
constexpr double kLimit = 1 << 20;

double sane(double v, double fallback = 0) {
  return std::isfinite(v) ? std::clamp(v, -kLimit, kLimit) : fallback;
}

int toPixel(double v) { return int(std::lround(sane(v))); }

}  // namespace

HoverView::HoverView(const OverlaySetup& setup, QWidget* parent)
    : QWidget(parent),
      dotSize_(std::max(0.0, sane(setup.dotSize, 8))),
      rowSpacing_(std::max(0.0, sane(setup.rowSpacing, 3))),
      cornerRadius_(std::max(0.0, sane(setup.cornerRadius, 14))),
      offsets_(setup.offsets) {
  label_ = new HoverViewLabel(fontFor(setup.font), this);
  dot_ = new HoverViewDot(this);
  stack_ = new QWidget(this);
  stack_->setObjectName(QStringLiteral("history"));
  stack_->setAccessibleName(QStringLiteral("Clipboard history"));
  label_->hide();
  dot_->hide();
  stack_->hide();
  layOut();
}

HoverView::~HoverView() = default;

void HoverView::setBackdropBlack(bool black) {
  if (black_ == black) return;
  black_ = black;
  dot_->setSmooth(black);
  updateShape();
  update();
}

void HoverView::setLabelHidden(bool hidden) { label_->setHidden(hidden); }

void HoverView::setLabelText(const LabelText& text) { label_->setText(text); }

void HoverView::setDotHidden(bool hidden) {
  dot_->setHidden(hidden);
  updateShape();
}

void HoverView::setStackHidden(bool hidden) { stack_->setHidden(hidden); }

void HoverView::setTopOffsets(const TopOffsets& offsets) {
  if (offsets_ == offsets) return;
  offsets_ = offsets;
  layOut();
}

void HoverView::setRows(std::vector<RowContent> contents) {
  // A row may be running the callback that got here: it goes at the
  // next turn of the event loop, never now.
  for (RowView* row : rows_) {
    row->hide();
    row->deleteLater();
  }
  rows_.clear();
  rowHeights_.clear();
  for (RowContent& setup : contents) {
    rowHeights_.push_back(std::max(0.0, sane(setup.height)));
    auto* row = new RowView(std::move(setup), stack_);
    row->show();
    rows_.push_back(row);
  }
  layOutStack();
}

void HoverView::setHighlightedRow(std::optional<std::size_t> row) {
  for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i]->setKeyHighlighted(row == i);
}

void HoverView::resizeEvent(QResizeEvent*) { layOut(); }

void HoverView::layOut() {
  const int w = width();
  label_->setGeometry(kLabelInset, toPixel(offsets_.labelTopC), std::max(0, w - 2 * kLabelInset),
                      label_->lineHeight());
  const int dot = toPixel(dotSize_);
  dot_->setGeometry(w - kDotInset - dot, toPixel(offsets_.dotTopC), dot, dot);
  layOutStack();
  updateShape();
}

void HoverView::layOutStack() {
  // Rows are placed by their running total, so rounding never adds up.
  const int stackWidth = std::max(0, width() - 2 * int(kListInset));
  double y = 0;
  int bottom = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (i > 0) y += rowSpacing_;
    const int top = toPixel(y);
    y += rowHeights_[i];
    bottom = toPixel(y);
    rows_[i]->setGeometry(0, top, stackWidth, bottom - top);
  }
  stack_->setGeometry(int(kListInset), toPixel(offsets_.historyTopC), stackWidth, bottom);
}

void HoverView::updateShape() {
  QRegion shape;
  if (black_) {
    shape = roundedBottomRegion(size(), cornerRadius_);
  } else if (!dot_->isHidden()) {
    shape = discRegion(dot_->geometry()) & rect();
  }
  if (shape == shape_) return;
  shape_ = shape;
  emit shapeChanged();
}

void HoverView::paintEvent(QPaintEvent*) {
  if (!black_) return;
  // The window is cut to this same region, so filling it (rather than an
  // antialiased path) leaves no half-covered pixels along the corners,
  // with or without a compositor.
  QPainter painter(this);
  painter.setClipRegion(shape_);
  painter.fillRect(rect(), Qt::black);
}

void HoverView::mousePressEvent(QMouseEvent* event) { event->accept(); }

void HoverView::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

}  // namespace tuckshelf
