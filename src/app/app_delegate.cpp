#include "app/app_delegate.h"

#include <cmath>

#include "history/captured_text.h"
#include "listview/history_layout.h"
#include "overlay/notch_geometry.h"
#include "overlay/placement.h"

namespace tuckshelf {

namespace {

const LabelText kEmptyMessage{QStringLiteral("clipboard's empty \u2728"), 0.8, 0.18};

// Runs `body` on the delegate if it still exists.
template <typename Body>
auto weakly(const std::weak_ptr<AppDelegate>& weak, Body body) {
  return [weak, body](auto&&... args) {
    if (auto self = weak.lock()) body(*self, args...);
  };
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(PlatformServices services) {
  return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(services)));
}

AppDelegate::AppDelegate(PlatformServices services)
    : services_(std::move(services)), lastChangeCount_(services_.pasteboard.changeCount()) {}

// ---- Launch ---------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
  // No task-bar entry and no accessibility trust exist to ask for here:
  // the panel window keeps itself out of task bars on its own.
  terminateOtherCopies();
  loadStoredHistory();
  if (auto screen = notchScreen(services_.displays)) buildOverlay(*screen);

  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  pollTimer_ = services_.timers.scheduleRepeating(0.4, [weak] {
    // Each step takes its own hold on the delegate.
    if (auto self = weak.lock()) self->changeCheck();
    if (auto self = weak.lock()) self->pollCursor();
  });
  showCurrentClipboard();

  auto pasteKey = weakly(weak, [](AppDelegate& d, const KeyDown& e) { d.pasteKeyHandler(e); });
  globalMonitor_ = services_.monitors.addGlobalKeyDownMonitor(pasteKey);
  localMonitor_ = services_.monitors.addLocalKeyDownMonitor(pasteKey);
  mouseMonitor_ = services_.monitors.addGlobalMouseMovedMonitor(
      weakly(weak, [](AppDelegate& d) { d.mouseMoveHandler(); }));
  services_.displays.observeScreenChanges(weakly(weak, [](AppDelegate& d) { d.screensChanged(); }));
}

void AppDelegate::terminateOtherCopies() {
  const RunningApp self = services_.processes.currentApplication();
  // Without an identity of its own the program cannot tell its copies from
  // other programs, so it leaves everything alone.
  if (!self.identifier) return;
  for (const RunningApp& app : services_.processes.runningApplications())
    if (app.identifier == self.identifier && app.pid != self.pid)
      services_.processes.forceTerminate(app);
}

void AppDelegate::buildOverlay(const ScreenInfo& screen) {
  topGapValue_ = topGap(screen);
  OverlaySetup setup;
  setup.frame = panelFrame(screen, nubWidth, nubHeight);
  setup.offsets = topOffsetsFor(topGapValue_);
  setup.dotSize = dotSize;
  setup.rowSpacing = rowSpacing;
  setup.font = font;
  panel_ = services_.makeOverlay(setup);
}

// ---- Event sources --------------------------------------------------------

void AppDelegate::pollTick() {
  changeCheck();
  pollCursor();
}

void AppDelegate::pasteKeyHandler(const KeyDown& event) {
  if (!event.command) return;
  if (!event.charactersIgnoringModifiers) return;
  if (event.charactersIgnoringModifiers->toLower() != QStringLiteral("v")) return;
  unpasted_ = false;
  if (mode_ == Mode::normal) showResting();
}

void AppDelegate::mouseMoveHandler() { pollCursor(); }

void AppDelegate::screensChanged() {
  // A launch that found no display built no overlay; build it once one
  // appears, so the program does not stay invisible for good.
  if (!panel_) {
    if (auto screen = notchScreen(services_.displays)) buildOverlay(*screen);
  }
  if (mode_ == Mode::expanded)
    renderHistory();
  else
    showResting();
}

// ---- Capture --------------------------------------------------------------

void AppDelegate::changeCheck() {
  const std::int64_t count = services_.pasteboard.changeCount();
  if (count == lastChangeCount_) return;
  lastChangeCount_ = count;
  showCurrentClipboard();
}

void AppDelegate::showCurrentClipboard() {
  std::optional<ClipItem> entry;
  if (auto copied = services_.pasteboard.string()) {
    if (auto text = normalizedCapture(*copied)) entry.emplace(std::move(text), nullptr);
  }
  if (!entry) {
    if (auto image = services_.pasteboard.image()) entry.emplace(std::nullopt, std::move(image));
  }
  if (entry) {
    record(std::move(*entry));
    unpasted_ = true;
  } else {
    unpasted_ = false;
  }
  showResting();
}

// ---- History --------------------------------------------------------------

void AppDelegate::record(ClipItem item) {
  recordInto(history_, std::move(item), maxHistory);
  persistHistory();
}

void AppDelegate::persistHistory() {
  services_.defaults.setStringArray(kHistoryDefaultsKey, storedTexts(history_));
}

void AppDelegate::loadStoredHistory() {
  history_ = historyFromStoredTexts(services_.defaults.stringArray(kHistoryDefaultsKey).value_or(QStringList{}));
}

// ---- Placement ------------------------------------------------------------

void AppDelegate::place(double width, double contentH, bool animated) {
  if (!panel_) return;
  const auto screen = notchScreen(services_.displays);
  if (!screen) return;
  topGapValue_ = topGap(*screen);
  panel_->setTopOffsets(topOffsetsFor(topGapValue_));
  panel_->setFrame(panelFrame(*screen, width, contentH), animated);
  panel_->orderFrontRegardless();
}

void AppDelegate::showResting() {
  mode_ = Mode::normal;
  if (!panel_) return;
  panel_->setLabelHidden(true);
  panel_->setStackHidden(true);
  panel_->setDotHidden(!unpasted_);
  panel_->setBackdropBlack(false);
  panel_->setHasShadow(false);
  panel_->setIgnoresMouseEvents(true);
  place(nubWidth, nubHeight, false);
}

double AppDelegate::lineH() {
  if (!lineH_) lineH_ = std::ceil(services_.textMeasurer.defaultLineHeight());
  return *lineH_;
}

// ---- Hover ----------------------------------------------------------------

bool AppDelegate::cursorAtNotch(Point point) const {
  // `point` is the pointer just read: choosing the display from it spares
  // a second X round trip at every pointer motion.
  return cursorAtNotchOn(notchScreenAt(services_.displays, point), point,
                         HoverRegionSettings{nubWidth * 0.5, 34.0, notchHoverSlop});
}

void AppDelegate::pollCursor() {
  if (!panel_ || !panel_->isVisible()) return;
  const Point p = services_.displays.mouseLocation();
  if (mode_ == Mode::expanded) {
    if (rectContainsPoint(panel_->frame(), p)) return;
    if (cursorAtNotch(p)) return;
    showResting();
    return;
  }
  if (!cursorAtNotch(p)) return;
  if (!history_.empty())
    openList();
  else
    openMessage();
}

void AppDelegate::showOpenBackdrop() {
  panel_->setBackdropBlack(true);
  panel_->setHasShadow(true);
  panel_->setIgnoresMouseEvents(false);
}

void AppDelegate::openList() {
  mode_ = Mode::expanded;
  panel_->setLabelHidden(true);
  panel_->setStackHidden(false);
  panel_->setDotHidden(true);
  showOpenBackdrop();
  renderHistory();
}

void AppDelegate::openMessage() {
  mode_ = Mode::expanded;
  panel_->setLabelHidden(false);
  panel_->setStackHidden(true);
  panel_->setDotHidden(true);
  showOpenBackdrop();
  panel_->setLabelText(kEmptyMessage);
  place(baseWidth, lineH() + 2 * vPadding, true);
}

// ---- The open list --------------------------------------------------------

void AppDelegate::renderHistory() {
  if (mode_ != Mode::expanded) return;
  if (!panel_) return;
  if (history_.empty()) {
    showResting();
    return;
  }
  const History entries = history_;
  const ListSizingSettings settings{rowHeight,    rowSpacing, baseWidth, maxWidthFactor,
                                    widthFitLines, maxExpandedH, hPadding, vPadding};
  const ListSizing sizing =
      sizeHistoryList(displayText(entries.front()), entries.size(), settings, services_.textMeasurer);

  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  std::vector<RowContent> rows;
  rows.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool lead = i == 0;
    const auto index = std::int64_t(i);
    rows.push_back(RowContent{
        entries[i], sizing.rowHeights[i], lead ? 0 : 1, lead ? TextAlign::center : TextAlign::left,
        lead ? 16.0 : 10.0, font,
        weakly(weak, [index](AppDelegate& d) { d.selectAction(index); }),
        weakly(weak, [index](AppDelegate& d) { d.deleteAction(index); })});
  }
  panel_->setRows(std::move(rows));
  place(sizing.width, sizing.contentH, true);
}

void AppDelegate::selectAction(std::int64_t index) {
  if (index < 0 || std::size_t(index) >= history_.size()) return;
  const ClipItem entry = history_[std::size_t(index)];
  Pasteboard& pasteboard = services_.pasteboard;
  pasteboard.clearContents();
  if (entry.text)
    pasteboard.setString(*entry.text);
  else if (entry.image)
    pasteboard.writeImage(entry.image);
  lastChangeCount_ = pasteboard.changeCount();
  unpasted_ = true;
  record(entry);
  showResting();
}

void AppDelegate::deleteAction(std::int64_t index) {
  if (index < 0 || std::size_t(index) >= history_.size()) return;
  history_.erase(history_.begin() + index);
  persistHistory();
  if (history_.empty())
    showResting();
  else
    renderHistory();
}

}  // namespace tuckshelf
