#include "app/overlay_panel.h"

#include <QEasingCurve>
#include <QPropertyAnimation>
#include <QVBoxLayout>
#include <QWidget>

#include "app/hover_view.h"
#include "app/overlay_panel_x11.h"
#include "platform/qt_coordinates.h"

namespace tuckshelf {
namespace {

constexpr int kFrameAnimationMs = 180;

// Ease-in-ease-out: the cubic Bézier (0.42, 0) (0.58, 1).
QEasingCurve easeInEaseOut() {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
  return curve;
}

}  // namespace

OverlayPanel::OverlayPanel(const OverlaySetup& setup) {
  // Flags are fixed here: changing them on a shown window hides it.
  window_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                   Qt::WindowDoesNotAcceptFocus |
                                                   Qt::X11BypassWindowManagerHint);
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  window_->setAttribute(Qt::WA_X11DoNotAcceptFocus);
  window_->setFocusPolicy(Qt::NoFocus);
  window_->setWindowTitle(QStringLiteral("tuckshelf"));
  // Whatever of the window background a shape change has yet to cut away
  // shows black, the backdrop's colour, rather than grey.
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, Qt::black);
  window_->setPalette(palette);

  view_ = new HoverView(setup);
  auto* layout = new QVBoxLayout(window_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  layout->addWidget(view_);

  window_->setGeometry(toQtPixels(setup.frame));
  // The X window exists from here on, so it is shaped and named before
  // it is first mapped.
  window_->winId();
  panel_x11::setWindowClass(*window_, QByteArrayLiteral("tuckshelf"));
  applyShapes();
  QObject::connect(view_, &HoverView::shapeChanged, window_.get(), [this] { applyBoundingShape(); });

  animation_ = new QPropertyAnimation(window_.get(), "geometry", window_.get());
  animation_->setDuration(kFrameAnimationMs);
  animation_->setEasingCurve(easeInEaseOut());
  QObject::connect(animation_, &QPropertyAnimation::valueChanged, window_.get(), [] { panel_x11::flush(); });
}

OverlayPanel::~OverlayPanel() {
  // The animation belongs to the window; stop it before either goes.
  animation_->stop();
}

void OverlayPanel::applyBoundingShape() {
  panel_x11::setBoundingShape(*window_, view_->visibleShape().translated(view_->pos()));
}

void OverlayPanel::applyShapes() {
  applyBoundingShape();
  panel_x11::setPassesClicksThrough(*window_, ignoresMouseEvents_);
}

bool OverlayPanel::isVisible() const { return window_->isVisible(); }

Rect OverlayPanel::frame() const { return toGlobalYUp(window_->geometry()); }

void OverlayPanel::setFrame(const Rect& frame, bool animated) {
  const QRect target = toQtPixels(frame);
  animation_->stop();
  if (!animated) {
    window_->setGeometry(target);
    panel_x11::flush();
    return;
  }
  animation_->setStartValue(window_->geometry());
  animation_->setEndValue(target);
  animation_->start();
}

void OverlayPanel::orderFrontRegardless() {
  if (!window_->isVisible()) {
    window_->show();
    // Shapes live on the X window; should Qt ever have made a new one,
    // the old window's shapes and name went with it.
    panel_x11::setWindowClass(*window_, QByteArrayLiteral("tuckshelf"));
    applyShapes();
  }
  window_->raise();
  panel_x11::flush();
}

// No shadow can be drawn without a compositor, and the panel must look the
// same either way; the flag is kept for whoever asks.
void OverlayPanel::setHasShadow(bool on) { hasShadow_ = on; }

void OverlayPanel::setIgnoresMouseEvents(bool ignores) {
  ignoresMouseEvents_ = ignores;
  panel_x11::setPassesClicksThrough(*window_, ignores);
}

void OverlayPanel::setBackdropBlack(bool black) { view_->setBackdropBlack(black); }
void OverlayPanel::setLabelHidden(bool hidden) { view_->setLabelHidden(hidden); }
void OverlayPanel::setLabelText(const LabelText& text) { view_->setLabelText(text); }
void OverlayPanel::setDotHidden(bool hidden) { view_->setDotHidden(hidden); }
void OverlayPanel::setStackHidden(bool hidden) { view_->setStackHidden(hidden); }
void OverlayPanel::setTopOffsets(const TopOffsets& offsets) { view_->setTopOffsets(offsets); }
void OverlayPanel::setRows(std::vector<RowContent> rows) { view_->setRows(std::move(rows)); }

std::unique_ptr<OverlayWindow> makeOverlayPanel(const OverlaySetup& setup) {
  return std::make_unique<OverlayPanel>(setup);
}

}  // namespace tuckshelf
