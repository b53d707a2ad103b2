#pragma once

#include <map>
#include <memory>

#include <QObject>
#include <QWindow>

#include "platform/qt/qt_motion_pacer.h"
#include "platform/wayland/wayland_layer_surface.h"
#include "platform/window_shaper.h"

namespace tuckshelf {

class WaylandConnection;
class WaylandPointerCatcher;
class WaylandQtGlobals;

// The panel as a layer-shell surface on the output it sits on, large
// enough for every place the panel takes there. It draws on a clear
// background, so its painting is its shape; the input region is the
// surface's own and goes out with the next commit, Qt's when the size
// changed, so that size and picture change together.
//
// Where the panel takes input, the pointer goes to a catcher on the
// program's own connection where it can, so that none of its motion
// reaches Qt's; Qt's surface then takes none.
class WaylandWindowShaper final : public WindowShaper {
 public:
  // `globals` and `connection` must outlive the shaper.
  WaylandWindowShaper(WaylandQtGlobals& globals, WaylandConnection& connection);
  ~WaylandWindowShaper() override;

  void prepare(QWidget& window) override;
  void setBoundingShape(QWidget& window, const QRegion& shape) override;
  void setInputRegion(QWidget& window, const std::optional<QRegion>& region) override;
  QRect place(QWidget& window, const QRect& geometry) override;
  bool needsNewWindow(const QWidget& window, const QRect& geometry) const override;
  void release(QWidget& window) override;
  void flush() override;
  // Keyboard interactivity on the panel's layer surface; the compositor
  // gives the focus back itself when it goes. Losing the keyboard
  // reaches the window through Qt.
  void takeKeyboard(QWidget& window, std::function<void()> lost) override;
  void releaseKeyboard(QWidget& window) override;

 private:
  void setKeyboardInteractive(QWidget& window, bool on);
  struct Panel {
    QWindow* handle = nullptr;  // Qt's window for the widget
    std::unique_ptr<WaylandLayerSurface> layer;
    QRect box;  // the surface, global
    QRegion shape;
    std::optional<QRegion> input;
    bool resizing = false;  // a new size waits for Qt's buffer at that size
    bool dirty = false;     // something waits for a commit
    bool caught = false;    // the catcher has the pointer over it, not Qt
  };
  class Painted;
  Panel* panelOf(const QWidget& window) const;
  void applyInput(Panel& panel);

  WaylandQtGlobals& globals_;
  std::unique_ptr<WaylandPointerCatcher> catcher_;  // null where the compositor lacks a part
  std::map<const QWidget*, std::unique_ptr<Panel>> panels_;
  std::unique_ptr<Painted> painted_;
  QtMotionPacer pacer_;
};

}  // namespace tuckshelf
