#pragma once

#include <memory>
#include <vector>

#include <QPointer>
#include <QScreen>

#include "platform/pointer_events.h"
#include "platform/qt/qt_motion_pacer.h"


namespace tuckshelf {

class WaylandQtGlobals;

// Each band a clear layer surface of its own on its output, above every
// window; the compositor tells the program of the pointer only over them.
class WaylandHoverBands final : public HoverBands {
 public:
  // `globals` must outlive the bands.
  explicit WaylandHoverBands(WaylandQtGlobals& globals);
  ~WaylandHoverBands() override;

  void setBands(const std::vector<Rect>& bands) override;
  void setPointerHandler(PointerHandler handler) override;

  // The output whose band the pointer entered last, if any: Wayland tells
  // a program nothing else of where the pointer is.
  QScreen* lastEnteredScreen() const { return lastEntered_; }

 private:
  class Band;
  void report(const PointerEvent& event, QScreen* screen);

  WaylandQtGlobals& globals_;
  QtMotionPacer pacer_;  // before the bands: it outlives them
  std::vector<std::unique_ptr<Band>> bands_;
  PointerHandler handler_;
  QPointer<QScreen> lastEntered_;
};

}  // namespace tuckshelf
