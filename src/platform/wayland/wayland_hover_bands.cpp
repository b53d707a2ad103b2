#include "platform/wayland/wayland_hover_bands.h"

#include <algorithm>

#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include "platform/qt/qt_coordinates.h"
#include "platform/wayland/wayland_layer_surface.h"
#include "platform/wayland/wayland_qt_globals.h"

namespace tuckshelf {

// A band: a window that draws nothing and reports the pointer.
class WaylandHoverBands::Band : public QRasterWindow {
 public:
  Band(WaylandHoverBands& owner, const QRect& pixels) : owner_(owner), pixels_(pixels) {
    setFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    QSurfaceFormat format = this->format();
    format.setAlphaBufferSize(8);
    setFormat(format);
    setGeometry(pixels);
    QScreen* screen = QGuiApplication::screenAt(QPoint(pixels.center().x(), pixels.top()));
    screen_ = screen ? screen : QGuiApplication::primaryScreen();
    create();
    owner.pacer_.pace(*this);
    layer_ = WaylandLayerSurface::create(owner.globals_, *this, screen_, pixels);
    if (layer_) show();
  }

  const QRect& pixels() const { return pixels_; }
  // Goes at the next turn of the event loop, never while it may be
  // reporting; its layer surface goes at once.
  static void retire(std::unique_ptr<Band> band) {
    band->layer_.reset();
    band->hide();
    band.release()->deleteLater();
  }
  bool isOpen() const { return layer_ && layer_->isOpen(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(QPoint(), size()), Qt::transparent);
  }

  bool event(QEvent* event) override {
    switch (event->type()) {
      case QEvent::Enter:
        owner_.report({PointerEvent::Kind::entered, position(static_cast<QEnterEvent*>(event)->position())},
                      screen_);
        break;
      case QEvent::MouseMove:
        owner_.report({PointerEvent::Kind::moved, position(static_cast<QMouseEvent*>(event)->position())},
                      screen_);
        break;
      case QEvent::Leave:
        owner_.report({PointerEvent::Kind::left, {}}, screen_);
        break;
      default:
        break;
    }
    return QRasterWindow::event(event);
  }

 private:
  // Global from the band's own place: Qt knows nothing else of where a
  // layer surface is.
  Point position(QPointF local) const { return pointToGlobalYUp(pixels_.topLeft() + local.toPoint()); }

  WaylandHoverBands& owner_;
  QRect pixels_;
  QPointer<QScreen> screen_;
  std::unique_ptr<WaylandLayerSurface> layer_;
};

WaylandHoverBands::WaylandHoverBands(WaylandQtGlobals& globals) : globals_(globals) {}

WaylandHoverBands::~WaylandHoverBands() = default;

void WaylandHoverBands::setBands(const std::vector<Rect>& bands) {
  std::vector<std::unique_ptr<Band>> kept;
  for (const Rect& band : bands) {
    const QRect pixels = toQtPixels(band);
    if (pixels.isEmpty()) continue;
    // A band that stays where it is keeps its surface, and so the pointer
    // it holds.
    auto same = std::find_if(bands_.begin(), bands_.end(),
                             [&](const auto& b) { return b && b->pixels() == pixels && b->isOpen(); });
    if (same != bands_.end())
      kept.push_back(std::move(*same));
    else
      kept.push_back(std::make_unique<Band>(*this, pixels));
  }
  for (auto& band : bands_)
    if (band) Band::retire(std::move(band));
  bands_ = std::move(kept);
}

void WaylandHoverBands::setPointerHandler(PointerHandler handler) { handler_ = std::move(handler); }

void WaylandHoverBands::report(const PointerEvent& event, QScreen* screen) {
  if (event.kind == PointerEvent::Kind::entered && screen) lastEntered_ = screen;
  // Held by value: the handler may replace itself.
  if (const PointerHandler handler = handler_) handler(event);
}

}  // namespace tuckshelf
