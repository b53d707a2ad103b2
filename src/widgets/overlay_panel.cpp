#include "widgets/overlay_panel.h"

#include <QEasingCurve>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QWindow>
#include <QVariantAnimation>
#include <QWidget>

#include "widgets/accessible_widgets.h"
#include "widgets/hover_view.h"
#include "platform/qt/qt_coordinates.h"

namespace tuckshelf {
namespace {

constexpr int kFrameAnimationMs = 180;
constexpr int kFirstStepMs = 16;  // one frame at 60 Hz

// Ease-in-ease-out: the cubic Bézier (0.42, 0) (0.58, 1).
QEasingCurve easeInEaseOut() {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
  return curve;
}

// The panel's own window. Where it draws on a clear background, it clears
// what it repaints first: some backing stores (Qt 6.8's on Wayland) hand
// back the previous frame's pixels, which would otherwise stay.
// The list's keys; any other key does nothing while the list holds the
// keyboard, so that nothing typed reaches the window beneath by surprise.
std::optional<ListKey> listKeyFor(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Up:
      return ListKey::up;
    case Qt::Key_Down:
      return ListKey::down;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      return ListKey::choose;
    case Qt::Key_Delete:
      return ListKey::remove;
    case Qt::Key_Escape:
      return ListKey::close;
    default:
      return std::nullopt;
  }
}

class PanelWindow : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!testAttribute(Qt::WA_TranslucentBackground)) return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
  }
};

}  // namespace

// Reports the pointer entering and leaving the window, before Qt hands
// the events on (motion inside the open panel never changes whether it
// stays open, so it is not reported), and the list's keys while the window
// holds the keyboard; and shapes the window again once it is on screen:
// some compositors (GNOME's under Xwayland) ignore an input shape set while
// the window was being mapped.
class OverlayPanel::WindowEvents : public QObject {
 public:
  explicit WindowEvents(OverlayPanel& panel) : panel_(panel) {}

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Enter:
        report(PointerEvent::Kind::entered, static_cast<QEnterEvent*>(event)->globalPosition());
        break;
      case QEvent::Leave:
        report(PointerEvent::Kind::left, {});
        break;
      case QEvent::KeyPress:
        if (!panel_.takesKeyboard_) break;
        if (const auto key = listKeyFor(*static_cast<QKeyEvent*>(event))) panel_.reportKey(*key);
        return true;
      case QEvent::FocusIn:
        focused_ = panel_.takesKeyboard_;
        break;
      case QEvent::FocusOut:
        // Only a focus the window had while holding the keyboard: another
        // window took it (a click there), and the list closes.
        if (std::exchange(focused_, false) && panel_.takesKeyboard_) panel_.reportKey(ListKey::close);
        break;
      case QEvent::Expose:
        if (panel_.window_->windowHandle()->isExposed() && !exposed_) panel_.applyShapes();
        exposed_ = panel_.window_->windowHandle()->isExposed();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void report(PointerEvent::Kind kind, QPointF global) {
    // Held by value: the handler may replace itself.
    if (const PointerHandler handler = panel_.pointerHandler_)
      handler(PointerEvent{kind, pointToGlobalYUp(global.toPoint())});
  }

  OverlayPanel& panel_;
  bool exposed_ = false;
  bool focused_ = false;
};

OverlayPanel::OverlayPanel(const OverlaySetup& setup, WindowShaper& shaper)
    : shaper_(shaper), events_(std::make_unique<WindowEvents>(*this)) {
  installAccessibleWidgets();
  view_ = new HoverView(setup);
  attachWindow(toQtPixels(setup.frame));
  QObject::connect(view_, &HoverView::shapeChanged, view_, [this] {
    if (clickThrough_ && shaper_.picksWholeWindow()) return fitWindow();
    applyShapes();
  });

  animation_ = new QVariantAnimation(view_);
  animation_->setDuration(kFrameAnimationMs);
  animation_->setEasingCurve(easeInEaseOut());
  // The pass-through parts stay put on screen while the window moves.
  QObject::connect(animation_, &QVariantAnimation::valueChanged, view_, [this](const QVariant& value) {
    placeAt(value.toRect());
    if (!passThrough_.empty()) applyInputRegion();
    shaper_.flush();
  });
}

// A new window for the content, at `geometry`: made the window system's
// kind of panel, shaped and named before it is first mapped.
void OverlayPanel::attachWindow(const QRect& geometry) {
  // Flags are fixed here: changing them on a shown window hides it.
  auto window = std::make_unique<PanelWindow>(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                       Qt::WindowDoesNotAcceptFocus |
                                                       Qt::BypassWindowManagerHint);
  window->setAttribute(Qt::WA_ShowWithoutActivating);
  window->setAttribute(Qt::WA_X11DoNotAcceptFocus);
  window->setFocusPolicy(Qt::NoFocus);
  window->setWindowTitle(QStringLiteral("tuckshelf"));
  window->setAccessibleName(QStringLiteral("Tuckshelf"));
  window->setAccessibleDescription(description_);
  // Whatever of the window background a shape change has yet to cut away
  // shows black, the backdrop's colour, rather than grey.
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, Qt::black);
  window->setPalette(palette);
  window_ = std::move(window);
  view_->setParent(window_.get());
  view_->show();
  placeAt(geometry);
  window_->windowHandle()->installEventFilter(events_.get());
  applyShapes();
}

// The content at `geometry`, where the window system lets the window put it.
void OverlayPanel::placeAt(const QRect& geometry) {
  placed_ = geometry;
  const QRect part = windowPart(geometry.size());
  const QRect windowGeometry = part.translated(geometry.topLeft());
  if (!window_->testAttribute(Qt::WA_WState_Created)) {
    window_->setGeometry(windowGeometry);
    shaper_.prepare(*window_);
    window_->winId();
  }
  const QRect inWindow = shaper_.place(*window_, windowGeometry);
  view_->setGeometry(QRect(inWindow.topLeft() - part.topLeft(), geometry.size()));
  windowOrigin_ = windowGeometry.topLeft() - inWindow.topLeft();
}

// The part of content `content` large that the window covers: all of it,
// but where the window system hands a window every click in its rectangle,
// a click-through panel covers only what it shows (at rest the dot, and
// the pixel under the band's middle when nothing shows), so that the
// desktop's own bar beneath keeps its clicks.
QRect OverlayPanel::windowPart(const QSize& content) const {
  const QRect whole(QPoint(), content);
  if (!clickThrough_ || !shaper_.picksWholeWindow()) return whole;
  const QRect shown = view_->visibleShape().boundingRect() & whole;
  return shown.isEmpty() ? QRect(content.width() / 2, 0, 1, 1) : shown;
}

// The window cut to what the panel shows, as windowPart says: made anew
// where the window system would not let it shrink in place.
void OverlayPanel::fitWindow() {
  if (shaper_.needsNewWindow(*window_, windowPart(placed_.size()).translated(placed_.topLeft())))
    return moveToNewWindow(placed_);
  placeAt(placed_);
  applyShapes();
  shaper_.flush();
}

// A new window at `geometry` takes over the content; the old one goes.
void OverlayPanel::moveToNewWindow(const QRect& geometry) {
  const bool shown = window_->isVisible();
  if (takesKeyboard_) shaper_.releaseKeyboard(*window_);
  shaper_.release(*window_);
  std::unique_ptr<QWidget> old = std::move(window_);
  events_ = std::make_unique<WindowEvents>(*this);
  attachWindow(geometry);
  if (shown) raise();
  if (takesKeyboard_) takeKeyboard();
}

OverlayPanel::~OverlayPanel() {
  // The animation belongs to the content; stop it before either goes.
  animation_->stop();
  if (takesKeyboard_) shaper_.releaseKeyboard(*window_);
  shaper_.release(*window_);
}

void OverlayPanel::applyBoundingShape() {
  shaper_.setBoundingShape(*window_, view_->visibleShape().translated(view_->pos()));
}

void OverlayPanel::applyInputRegion() {
  if (clickThrough_) return shaper_.setInputRegion(*window_, QRegion());
  if (passThrough_.empty()) return shaper_.setInputRegion(*window_, std::nullopt);
  QRegion input = view_->visibleShape().translated(view_->pos());
  // Where the window was last put, not QWidget::geometry(), which on X11
  // follows only once the server confirms each move.
  for (const Rect& region : passThrough_) input -= toQtPixels(region).translated(-windowOrigin_);
  shaper_.setInputRegion(*window_, input);
}

void OverlayPanel::applyShapes() {
  applyBoundingShape();
  applyInputRegion();
}

bool OverlayPanel::isVisible() const { return window_->isVisible(); }

Rect OverlayPanel::frame() const { return toGlobalYUp(placed_); }

void OverlayPanel::setFrame(const Rect& frame, bool animated) {
  const QRect target = toQtPixels(frame);
  animation_->stop();
  if (shaper_.needsNewWindow(*window_, windowPart(target.size()).translated(target.topLeft())))
    return moveToNewWindow(target);
  if (!animated) {
    placeAt(target);
    if (!passThrough_.empty()) applyInputRegion();
    shaper_.flush();
    return;
  }
  animation_->setStartValue(placed_);
  animation_->setEndValue(target);
  animation_->start();
  // The first step at once rather than a frame from now: the panel starts
  // to move the moment the pointer arrives.
  animation_->setCurrentTime(kFirstStepMs);
}

void OverlayPanel::raise() {
  if (!window_->isVisible()) {
    window_->show();
    // Shapes live on the X window; should Qt ever have made a new one,
    // the old window's shapes and name went with it.
    shaper_.prepare(*window_);
    applyShapes();
  }
  window_->raise();
  shaper_.flush();
}

// No shadow can be drawn without a compositor, and the panel must look the
// same either way; the flag is kept for whoever asks.
void OverlayPanel::setHasShadow(bool on) { hasShadow_ = on; }

void OverlayPanel::setPassThrough(const std::vector<Rect>& regions) {
  passThrough_ = regions;
  applyInputRegion();
}

void OverlayPanel::setClickThrough(bool on) {
  clickThrough_ = on;
  // The input region first: a click-through window that shrinks in place
  // may need to be made anew.
  applyInputRegion();
  if (shaper_.picksWholeWindow()) fitWindow();
}

void OverlayPanel::setPointerHandler(PointerHandler handler) { pointerHandler_ = std::move(handler); }

void OverlayPanel::setBackdropBlack(bool black) { view_->setBackdropBlack(black); }
void OverlayPanel::setLabelHidden(bool hidden) { view_->setLabelHidden(hidden); }
void OverlayPanel::setLabelText(const LabelText& text) { view_->setLabelText(text); }
void OverlayPanel::setDotHidden(bool hidden) { view_->setDotHidden(hidden); }
void OverlayPanel::setStackHidden(bool hidden) { view_->setStackHidden(hidden); }
void OverlayPanel::setTopOffsets(const TopOffsets& offsets) { view_->setTopOffsets(offsets); }
void OverlayPanel::setRows(std::vector<RowContent> rows) { view_->setRows(std::move(rows)); }

void OverlayPanel::setTakesKeyboard(bool on) {
  if (takesKeyboard_ == on) return;
  takesKeyboard_ = on;
  if (on)
    takeKeyboard();
  else
    shaper_.releaseKeyboard(*window_);
  shaper_.flush();
}

void OverlayPanel::takeKeyboard() {
  shaper_.takeKeyboard(*window_, [this] {
    if (takesKeyboard_) reportKey(ListKey::close);
  });
}

void OverlayPanel::reportKey(ListKey key) {
  // Held by value: the handler may rebuild the list or close it.
  if (const KeyHandler handler = keyHandler_) handler(key);
}

void OverlayPanel::setKeyHandler(KeyHandler handler) { keyHandler_ = std::move(handler); }

void OverlayPanel::setHighlightedRow(std::optional<std::size_t> row) { view_->setHighlightedRow(row); }

void OverlayPanel::setDescription(const QString& description) {
  description_ = description;
  window_->setAccessibleDescription(description);
}

OverlayFactory overlayPanelFactory(WindowShaper& shaper) {
  return [&shaper](const OverlaySetup& setup) -> std::unique_ptr<OverlayWindow> {
    return std::make_unique<OverlayPanel>(setup, shaper);
  };
}

}  // namespace tuckshelf
