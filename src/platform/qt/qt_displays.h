#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QTimer>

#include "platform/displays.h"

class QScreen;

namespace tuckshelf {

// The screens and pointer as QGuiApplication sees them, in the global y-up
// coordinates of qt_coordinates.h. Needs a QGuiApplication; without one
// there are no screens.
class QtDisplays : public Displays {
 public:
  QtDisplays();
  ~QtDisplays() override;

  std::vector<ScreenInfo> screens() const override;
  std::optional<ScreenInfo> primaryScreen() const override;
  Point pointerPosition() const override;
  // The handlers run once, on the event loop, after a burst of changes
  // (Qt reports one monitor change as several signals).
  void observeScreenChanges(std::function<void()> handler) override;

 private:
  void watchScreen(QScreen* screen);


  std::vector<std::function<void()>> handlers_;
  QTimer changeCoalescer_;
  bool watching_ = false;
};

}  // namespace tuckshelf
