#pragma once

#include <memory>

#include "overlay/overlay_window.h"

class QPropertyAnimation;
class QWidget;

namespace tuckshelf {

class HoverView;

// The overlay as an X11 window: frameless, above every other window on
// every desktop, override-redirect so that no window manager decorates,
// focuses or lists it, and shaped so that only its visible pixels exist.
class OverlayPanel final : public OverlayWindow {
 public:
  explicit OverlayPanel(const OverlaySetup& setup);
  ~OverlayPanel() override;

  bool isVisible() const override;
  Rect frame() const override;
  void setFrame(const Rect& frame, bool animated) override;
  void orderFrontRegardless() override;
  void setHasShadow(bool on) override;
  void setIgnoresMouseEvents(bool ignores) override;
  void setBackdropBlack(bool black) override;
  void setLabelHidden(bool hidden) override;
  void setLabelText(const LabelText& text) override;
  void setDotHidden(bool hidden) override;
  void setStackHidden(bool hidden) override;
  void setTopOffsets(const TopOffsets& offsets) override;
  void setRows(std::vector<RowContent> rows) override;

  QWidget* window() const { return window_.get(); }
  HoverView* hoverView() const { return view_; }
  bool hasShadow() const { return hasShadow_; }
  bool ignoresMouseEvents() const { return ignoresMouseEvents_; }

 private:
  void applyBoundingShape();
  void applyShapes();

  std::unique_ptr<QWidget> window_;
  HoverView* view_;
  QPropertyAnimation* animation_;
  bool hasShadow_ = false;
  bool ignoresMouseEvents_ = false;
};

std::unique_ptr<OverlayWindow> makeOverlayPanel(const OverlaySetup& setup);

}  // namespace tuckshelf
