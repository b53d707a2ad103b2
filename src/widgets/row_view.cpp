#include "widgets/row_view.h"

#include <cmath>

#include <QAccessible>
#include <QIcon>
#include <QStyle>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "listview/history_layout.h"
#include "platform/qt/qt_text_measurer.h"
#include "widgets/row_view_button.h"
#include "widgets/row_view_label.h"

namespace tuckshelf {
namespace {

// A press this close to the visible button still counts as on it.
constexpr double kButtonReach = 4;
constexpr double kThumbnailRadius = 4;
constexpr double kHighlightRadius = 6;
const QColor kHighlight = QColor::fromRgbF(1, 1, 1, 0.14f);

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0; }

QRect toPixels(const QRectF& r) {
  return QRect(qRound(r.x()), qRound(r.y()), std::max(0, qRound(r.width())), std::max(0, qRound(r.height())));
}

QImage scaledThumbnail(const QImage& source, QSizeF frame, qreal ratio) {
  if (source.isNull()) return {};
  const QSize pixels(qRound(frame.width() * ratio), qRound(frame.height() * ratio));
  QImage scaled = source.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  scaled.setDevicePixelRatio(ratio);
  return scaled;
}

}  // namespace

QRectF toTopLeft(const Rect& frame, double rowHeight) {
  return QRectF(frame.x, rowHeight - frame.y - frame.height, frame.width, frame.height);
}

RowView::RowView(RowContent setup, QWidget* parent) : QWidget(parent), setup_(std::move(setup)) {
  setup_.pad = finiteOrZero(setup_.pad);
  label_ = new RowViewLabel(displayText(setup_.item), fontFor(setup_.font), setup_.maxLines, setup_.align, this);
  button_ = new RowViewButton(this);
  button_->hide();
  setAccessibleName(setup_.accessibleName);
}

RowView::~RowView() = default;

bool RowView::hasThumbnail() const { return rowKind(setup_.item) != RowKind::text; }

QImage RowView::fileIcon(QSizeF size) const {
  const QIcon icon = QIcon::fromTheme(QStringLiteral("text-x-generic"), style()->standardIcon(QStyle::SP_FileIcon));
  return icon.pixmap(size.toSize(), devicePixelRatioF()).toImage();
}

QWidget* RowView::removeButton() const { return button_; }

void RowView::resizeEvent(QResizeEvent*) {
  const double w = width();
  const double h = height();
  const RowLayout layout = rowLayout(w, h, setup_.pad, hasThumbnail(), setup_.maxLines);
  button_->setGeometry(toPixels(toTopLeft(layout.button, h)));
  label_->setGeometry(toPixels(toTopLeft(layout.label, h)));

  thumbnail_ = {};
  thumbnailFrame_ = {};
  if (layout.thumbnail && layout.thumbnail->width > 0) thumbnailFrame_ = toTopLeft(*layout.thumbnail, h);
}

QRectF RowView::buttonFrame() const {
  return toTopLeft(rowLayout(width(), height(), setup_.pad, hasThumbnail(), setup_.maxLines).button,
                   height());
}

RowHit RowView::hitAt(QPointF p) const {
  if (!(p.x() >= 0 && p.x() < width() && p.y() >= 0 && p.y() < height())) return RowHit::none;
  if (!button_->isHidden()) {
    const QRectF reach = buttonFrame().adjusted(-kButtonReach, -kButtonReach, kButtonReach, kButtonReach);
    if (p.x() >= reach.left() && p.x() < reach.right() && p.y() >= reach.top() && p.y() < reach.bottom()) {
      return RowHit::button;
    }
  }
  return RowHit::row;
}

void RowView::setHovered(bool on) {
  hovered_ = on;
  showHighlight();
}

void RowView::setKeyHighlighted(bool on) {
  if (keyHighlighted_ == on) return;
  keyHighlighted_ = on;
  showHighlight();
  if (on && QAccessible::isActive()) {
    QAccessibleEvent focus(this, QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
  }
}

void RowView::showHighlight() {
  button_->setVisible(isHighlighted());
  update();
}

void RowView::enterEvent(QEnterEvent*) { setHovered(true); }

void RowView::leaveEvent(QEvent*) { setHovered(false); }

void RowView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  // Accepted so that the release comes here wherever it happens.
  pressed_ = hitAt(event->position());
  event->accept();
}

void RowView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  event->accept();
  const RowHit pressed = pressed_;
  pressed_ = RowHit::none;
  // A callback may rebuild the list and schedule this row's deletion; the
  // copy keeps the function alive while it runs.
  if (pressed == RowHit::row) {
    const auto onSelect = setup_.onSelect;
    if (onSelect) onSelect();
  } else if (pressed == RowHit::button && hitAt(event->position()) == RowHit::button) {
    const auto onDelete = setup_.onDelete;
    if (onDelete) onDelete();
  }
}

void RowView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (isHighlighted()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kHighlight);
    painter.drawRoundedRect(QRectF(rect()), kHighlightRadius, kHighlightRadius);
  }
  // Scaled to the device's pixels, not the frame's points, so that it
  // stays sharp at any scale factor. The painter's scale is the screen's
  // pixel ratio, or that of an image the row is rendered into.
  const qreal scale = painter.deviceTransform().m11();
  const qreal ratio = scale > 0 ? scale : devicePixelRatioF();
  if (!thumbnailFrame_.isEmpty() && (thumbnail_.isNull() || thumbnail_.devicePixelRatio() != ratio))
    thumbnail_ = scaledThumbnail(setup_.item.image ? setup_.item.image->thumbnail() : fileIcon(thumbnailFrame_.size()),
                                 thumbnailFrame_.size(), ratio);
  if (!thumbnail_.isNull()) {
    QPainterPath clip;
    clip.addRoundedRect(thumbnailFrame_, kThumbnailRadius, kThumbnailRadius);
    painter.setClipPath(clip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF size = thumbnail_.deviceIndependentSize();
    const QPointF topLeft = thumbnailFrame_.center() - QPointF(size.width() / 2, size.height() / 2);
    painter.drawImage(QRectF(topLeft, size), thumbnail_);
  }
}

}  // namespace tuckshelf
