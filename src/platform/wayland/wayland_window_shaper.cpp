#include "platform/wayland/wayland_window_shaper.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <wayland-client.h>

#include "platform/wayland/wayland_pointer_catcher.h"
#include "platform/wayland/wayland_qt_globals.h"

namespace tuckshelf {
namespace {

// The output a panel at `geometry` belongs to: the one under its top centre.
QScreen* screenFor(const QRect& geometry) {
  QScreen* screen = QGuiApplication::screenAt(QPoint(geometry.center().x(), geometry.top()));
  return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

// Qt commits a window's new buffer right after painting it: a size that
// waited for that buffer has then gone out. A panel's layer surface goes
// with its window.
class WaylandWindowShaper::Painted : public QObject {
 public:
  explicit Painted(WaylandWindowShaper& shaper) : shaper_(shaper) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Qt 6 may send the window's QWindow a paint event too: the widget's is the one.
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
      if (Panel* panel = shaper_.panelOf(*static_cast<QWidget*>(watched))) panel->resizing = false;
    } else if (event->type() == QEvent::PlatformSurface &&
               static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                   QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
      std::erase_if(shaper_.panels_, [watched](const auto& entry) { return entry.second->handle == watched; });
    }
    return false;
  }

 private:
  WaylandWindowShaper& shaper_;
};

WaylandWindowShaper::WaylandWindowShaper(WaylandQtGlobals& globals, WaylandConnection& connection)
    : globals_(globals),
      catcher_(WaylandPointerCatcher::create(connection)),
      painted_(std::make_unique<Painted>(*this)) {
  if (!catcher_) return;
  // The catcher's surface came or went: the pointer changes hands.
  catcher_->setChangeHandler([this] {
    for (auto& [window, panel] : panels_)
      if (catcher_->covers(panel->handle)) applyInput(*panel);
    flush();
  });
}

WaylandWindowShaper::~WaylandWindowShaper() = default;

WaylandWindowShaper::Panel* WaylandWindowShaper::panelOf(const QWidget& window) const {
  const auto found = panels_.find(&window);
  return found == panels_.end() ? nullptr : found->second.get();
}

void WaylandWindowShaper::prepare(QWidget& window) {
  if (panelOf(window)) return;
  // A clear background, set before the native window exists so that its
  // buffers carry alpha.
  window.setAttribute(Qt::WA_TranslucentBackground);
  window.winId();
  auto panel = std::make_unique<Panel>();
  panel->handle = window.windowHandle();
  panel->layer = WaylandLayerSurface::create(globals_, *window.windowHandle(), screenFor(window.geometry()),
                                             window.geometry());
  if (!panel->layer) {
    qWarning("tuckshelf: the compositor did not take the panel as a layer surface");
    return;
  }
  window.installEventFilter(painted_.get());
  window.windowHandle()->installEventFilter(painted_.get());
  // Qt delivers every motion event on Wayland; the panel needs a frame's.
  // (The catcher, where it has the pointer, reads a frame's at a time.)
  pacer_.pace(*window.windowHandle());
  panels_[&window] = std::move(panel);
}

// The window paints nothing outside its shape on a clear background.
void WaylandWindowShaper::setBoundingShape(QWidget& window, const QRegion& shape) {
  Panel* panel = panelOf(window);
  if (!panel) return;
  panel->shape = shape;
  if (!panel->input) applyInput(*panel);
}

void WaylandWindowShaper::setInputRegion(QWidget& window, const std::optional<QRegion>& region) {
  Panel* panel = panelOf(window);
  if (!panel) return;
  panel->input = region;
  applyInput(*panel);
  flush();
}

void WaylandWindowShaper::applyInput(Panel& panel) {
  // None follows the shape, as the X11 input shape does; an empty region
  // takes no input at all.
  const QRegion region = panel.input.value_or(panel.shape);
  bool caught = false;
  if (catcher_ && !region.isEmpty()) {
    catcher_->cover(*panel.handle, panel.layer->screen(), panel.box.topLeft(), region);
    caught = catcher_->isCatching(panel.handle);
  } else if (catcher_ && catcher_->covers(panel.handle)) {
    catcher_->release();
  }
  panel.layer->setInputRegion(caught ? QRegion() : region);
  // Motion that Qt delivers comes a thousand times a second; the
  // catcher's comes a frame at a time already.
  if (caught != panel.caught) {
    if (caught)
      panel.handle->removeEventFilter(&pacer_);
    else
      pacer_.pace(*panel.handle);
    panel.caught = caught;
  }
  panel.dirty = true;
}

// The surface only ever grows, to hold every place the content has had on
// its output: as the content moves and shrinks inside it, Qt clears what it
// leaves. (sway 1.7 repaints what a layer surface leaves behind only on an
// output at the origin of the layout.)
QRect WaylandWindowShaper::place(QWidget& window, const QRect& geometry) {
  Panel* panel = panelOf(window);
  if (!panel) {
    window.setGeometry(geometry);
    return QRect(QPoint(), geometry.size());
  }
  QRect box = panel->box.isEmpty() ? geometry : panel->box.united(geometry);
  if (const QScreen* screen = panel->layer->screen()) box &= screen->geometry();
  if (box != panel->box) {
    panel->box = box;
    window.setGeometry(box);
    if (panel->layer->place(box)) panel->resizing = true;
    // The catcher's region is the window's, held in global pixels.
    if (catcher_ && catcher_->covers(panel->handle)) applyInput(*panel);
  }
  panel->dirty = true;
  return geometry.translated(-box.topLeft());
}

bool WaylandWindowShaper::needsNewWindow(const QWidget& window, const QRect& geometry) const {
  const Panel* panel = panelOf(window);
  return panel && (!panel->layer->isOpen() || panel->layer->screen() != screenFor(geometry));
}

void WaylandWindowShaper::release(QWidget& window) {
  const auto found = panels_.find(&window);
  if (found == panels_.end()) return;
  window.removeEventFilter(painted_.get());
  if (QWindow* handle = found->second->handle) {
    if (catcher_ && catcher_->covers(handle)) catcher_->release();
    handle->removeEventFilter(painted_.get());
    handle->removeEventFilter(&pacer_);
  }
  panels_.erase(found);
  wl_display_flush(globals_.display());
}

void WaylandWindowShaper::takeKeyboard(QWidget& window, std::function<void()>) {
  setKeyboardInteractive(window, true);
}

void WaylandWindowShaper::releaseKeyboard(QWidget& window) { setKeyboardInteractive(window, false); }

void WaylandWindowShaper::setKeyboardInteractive(QWidget& window, bool on) {
  Panel* panel = panelOf(window);
  if (!panel) return;
  panel->layer->setKeyboardInteractive(on);
  panel->dirty = true;
  flush();
}

void WaylandWindowShaper::flush() {
  for (auto& [window, panel] : panels_) {
    // While a new size waits for Qt's buffer, Qt's commit carries the rest.
    if (panel->dirty && !panel->resizing) panel->layer->commit();
    panel->dirty = false;
  }
  wl_display_flush(globals_.display());
}

}  // namespace tuckshelf
