#pragma once

#include <memory>

#include <QRect>

#include "overlay/overlay_window.h"
#include "platform/window_shaper.h"

class QVariantAnimation;
class QWidget;

namespace tuckshelf {

class HoverView;

// The overlay as a window of its own: frameless, above every other window
// on every desktop, bypassing the window manager so that none decorates,
// focuses or lists it, and shaped so that only its visible pixels exist.
class OverlayPanel final : public OverlayWindow {
 public:
  // `shaper` must outlive the panel.
  OverlayPanel(const OverlaySetup& setup, WindowShaper& shaper);
  ~OverlayPanel() override;

  bool isVisible() const override;
  Rect frame() const override;
  void setFrame(const Rect& frame, bool animated) override;
  void raise() override;
  void setHasShadow(bool on) override;
  void setClickThrough(bool on) override;
  void setPassThrough(const std::vector<Rect>& regions) override;
  void setPointerHandler(PointerHandler handler) override;
  void setBackdropBlack(bool black) override;
  void setLabelHidden(bool hidden) override;
  void setLabelText(const LabelText& text) override;
  void setDotHidden(bool hidden) override;
  void setStackHidden(bool hidden) override;
  void setTopOffsets(const TopOffsets& offsets) override;
  void setRows(std::vector<RowContent> rows) override;
  void setTakesKeyboard(bool on) override;
  void setKeyHandler(KeyHandler handler) override;
  void setHighlightedRow(std::optional<std::size_t> row) override;
  void setDescription(const QString& description) override;

  QWidget* window() const { return window_.get(); }
  HoverView* hoverView() const { return view_; }
  bool hasShadow() const { return hasShadow_; }
  bool clickThrough() const { return clickThrough_; }
  bool takesKeyboard() const { return takesKeyboard_; }

 private:
  class WindowEvents;
  void attachWindow(const QRect& geometry);
  void placeAt(const QRect& geometry);
  QRect windowPart(const QSize& content) const;
  void fitWindow();
  void moveToNewWindow(const QRect& geometry);
  void applyBoundingShape();
  void applyShapes();
  void applyInputRegion();
  void takeKeyboard();
  void reportKey(ListKey key);

  WindowShaper& shaper_;
  std::unique_ptr<WindowEvents> events_;
  std::unique_ptr<QWidget> window_;
  HoverView* view_;
  QVariantAnimation* animation_;
  PointerHandler pointerHandler_;
  KeyHandler keyHandler_;
  bool takesKeyboard_ = false;
  QString description_;
  bool hasShadow_ = false;
  bool clickThrough_ = false;
  std::vector<Rect> passThrough_;
  QRect placed_;         // the content's geometry last given
  QPoint windowOrigin_;  // the window's top left then, global
};

// Panels that shape themselves through `shaper`, which must outlive them.
OverlayFactory overlayPanelFactory(WindowShaper& shaper);

}  // namespace tuckshelf
