#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "history/history_list.h"
#include "listview/history_layout.h"
#include "overlay/notch_geometry.h"
#include "overlay/overlay_window.h"
#include "overlay/pointer_presence.h"
#include "platform/settings_store.h"
#include "platform/displays.h"
#include "platform/input_monitors.h"
#include "platform/pointer_events.h"
#include "platform/clipboard.h"
#include "platform/instance_guard.h"
#include "platform/text_measurer.h"
#include "platform/timers.h"

namespace tuckshelf {

// The platform services the program runs on, handed in so that tests can
// run the whole logic on fakes. They must outlive the delegate.
struct PlatformServices {
  Clipboard& clipboard;
  SettingsStore& settings;
  Displays& displays;
  InputMonitors& monitors;
  Timers& timers;
  InstanceGuard& instance;
  TextMeasurer& textMeasurer;
  HoverBands& hoverBands;
  OverlayFactory makeOverlay;
};

// Owns all of the program's state and every operation on it. Everything
// runs on the event loop's thread; handlers given to the platform hold the
// delegate weakly.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
 public:
  enum class Mode { normal, expanded };

  static std::shared_ptr<AppDelegate> create(PlatformServices services);

  // Launch: single instance, stored history, overlay, first capture, the
  // clipboard's reports, monitors.
  void launch();

  // Event sources.
  void pasteKeyHandler(const KeyDown& event);
  // The newest clip was pasted: the dot goes.
  void pasted();
  void screensChanged();

  // Capture: a new generation of the clipboard, if any, taken up.
  void changeCheck();
  void showCurrentClipboard();
  // The owner of the clipboard is going: keep the newest entry pasteable
  // when it is what the owner held.
  void keepWhatOwnerHeld();

  // History.
  void record(ClipItem item);
  void persistHistory();
  // Empties the history, texts and images, and stores the empty list.
  void clearHistory();
  void loadStoredHistory();

  // Placement and hover.
  void place(double width, double contentH, bool animated);
  void showResting();
  double lineH();
  // Where the pointer is over the program's own input regions: a position,
  // or none once it has left them all.
  void pollCursor(std::optional<Point> pointer);
  bool cursorAtNotch(Point point) const;

  // The open list and its row actions.
  void renderHistory();
  void selectAction(std::int64_t index);
  void deleteAction(std::int64_t index);
  // The open list's size for the history as it is: the rows', or the
  // empty history's message's when there are none.
  ListSizing listSizing();

  // The keyboard's way in (a shortcut runs `tuckshelf --open`): opens the
  // list where the pointer is and takes the keyboard, with the newest row
  // highlighted; asked again while so open, closes it.
  void openFromKeyboard();
  // A key of the list's while it holds the keyboard.
  void listKey(ListKey key);
  bool keyboardOpen() const { return keyboardOpen_; }
  std::optional<std::size_t> highlightedRow() const {
    return keyboardOpen_ && !history_.empty() ? std::optional(highlighted_) : std::nullopt;
  }
  // Where the shelf is drawn elsewhere, what opens it there for the keyboard.
  void setOpenElsewhereHandler(std::function<void()> open) { openElsewhere_ = std::move(open); }

  // Another program (GNOME Shell's extension) draws the shelf: the
  // program shows no window of its own meanwhile.
  void setDrawnElsewhere(bool elsewhere);
  // Called after the history or the dot changed; several changes of one
  // operation may each call it.
  void setChangeHandler(std::function<void()> changed) { changed_ = std::move(changed); }

  // Read access for the program's tests and diagnostics.
  Mode mode() const { return mode_; }
  const History& history() const { return history_; }
  bool unpasted() const { return unpasted_; }
  std::int64_t lastChangeCount() const { return lastChangeCount_; }
  double topGapValue() const { return topGapValue_; }
  OverlayWindow* panel() const { return panel_.get(); }

  // Settings, fixed for the delegate's life.
  const std::size_t maxHistory = 5;
  const double rowHeight = 30.0;
  const double rowSpacing = 3.0;
  const double nubWidth = 250.0;
  const double nubHeight = 8.0;
  const double dotSize = 8.0;
  const double notchHoverSlop = 3.0;
  const double baseWidth = 220.0;
  const double maxWidthFactor = 3.0;
  const int widthFitLines = 2;
  const double maxExpandedH = 320.0;
  const double hPadding = 16.0;
  const double vPadding = 8.0;
  const OverlayFont font{12.0, 500};

 private:
  explicit AppDelegate(PlatformServices services);

  std::optional<ClipItem> clipboardEntry();
  void writeToClipboard(const ClipItem& entry);
  void buildOverlay(const ScreenInfo& screen);
  void openList();
  void openMessage();
  void showOpenBackdrop();
  void placeHoverBands();
  // The display the panel hangs from now.
  std::optional<ScreenInfo> panelScreen() const;
  void setUnpasted(bool unpasted);
  void releaseKeyboard();
  void highlight(std::size_t row);
  void notifyChanged() {
    if (changed_) changed_();
  }
  HoverRegionSettings hoverRegion() const { return {nubWidth * 0.5, 34.0, notchHoverSlop}; }

  PlatformServices services_;

  std::unique_ptr<OverlayWindow> panel_;
  Mode mode_ = Mode::normal;
  History history_;
  bool unpasted_ = false;
  std::int64_t lastChangeCount_;
  MonitorToken globalMonitor_;
  MonitorToken localMonitor_;
  std::unique_ptr<PointerPresence> pointer_;
  std::optional<Point> lastPointer_;  // the latest reported position
  std::optional<double> lineH_;
  double topGapValue_ = 32.0;
  bool drawnElsewhere_ = false;
  bool keyboardOpen_ = false;
  std::size_t highlighted_ = 0;  // the row the keys act on, while keyboard-open
  std::function<void()> changed_;
  std::function<void()> openElsewhere_;
};

}  // namespace tuckshelf
