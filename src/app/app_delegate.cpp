#include "app/app_delegate.h"

#include <cmath>

#include "history/captured_text.h"
#include "listview/accessible_names.h"
#include "overlay/notch_geometry.h"
#include "overlay/placement.h"

namespace tuckshelf {

namespace {

const LabelText kEmptyMessage{QStringLiteral("clipboard's empty \u2728"), 0.8, 0.18};

// The open panel's frame, its top edge included: on the display's topmost
// row the pointer is visibly on the panel, and leaving it there must not
// close the list.
bool onOpenPanel(const Rect& frame, Point p) {
  return rectContainsPoint(frame, p) || (p.y == frame.maxY() && frame.minX() <= p.x && p.x < frame.maxX());
}

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
    : services_(std::move(services)), lastChangeCount_(services_.clipboard.generation()) {}

// ---- Launch ---------------------------------------------------------------

void AppDelegate::launch() {
  // No task-bar entry and no accessibility trust exist to ask for here:
  // the panel window keeps itself out of task bars on its own.
  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  // Every history change is stored at once, so quitting has nothing left
  // to write; storing once more costs little and survives a missed write.
  services_.instance.setHandlers({weakly(weak, [](AppDelegate& d) { d.persistHistory(); }),
                                  weakly(weak, [](AppDelegate& d) { d.clearHistory(); }),
                                  weakly(weak, [](AppDelegate& d) { d.openFromKeyboard(); })});
  services_.instance.claim();
  loadStoredHistory();

  // The pointer is reported only over the panel and the hover bands, so
  // nothing here runs while the user works elsewhere.
  pointer_ = std::make_unique<PointerPresence>(
      services_.timers, weakly(weak, [](AppDelegate& d, std::optional<Point> p) { d.pollCursor(p); }));
  services_.hoverBands.setPointerHandler(weakly(weak, [](AppDelegate& d, const PointerEvent& e) {
    d.pointer_->handle(PointerPresence::Region::band, e);
  }));
  if (auto screen = notchScreen(services_.displays)) buildOverlay(*screen);
  showCurrentClipboard();
  // The display server reports every change of the clipboard: nothing
  // runs while nothing happens.
  services_.clipboard.setChangeHandler(weakly(weak, [](AppDelegate& d) { d.changeCheck(); }));

  services_.clipboard.setPasteHandler(weakly(weak, [](AppDelegate& d) { d.pasted(); }));
  services_.clipboard.setOwnerGoneHandler(weakly(weak, [](AppDelegate& d) { d.keepWhatOwnerHeld(); }));
  auto pasteKey = weakly(weak, [](AppDelegate& d, const KeyDown& e) { d.pasteKeyHandler(e); });
  globalMonitor_ = services_.monitors.addGlobalKeyDownMonitor(pasteKey);
  localMonitor_ = services_.monitors.addLocalKeyDownMonitor(pasteKey);
  services_.displays.observeScreenChanges(weakly(weak, [](AppDelegate& d) { d.screensChanged(); }));
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
  panel_->setPointerHandler(weakly(weak_from_this(), [](AppDelegate& d, const PointerEvent& e) {
    if (d.pointer_) d.pointer_->handle(PointerPresence::Region::panel, e);
  }));
  panel_->setKeyHandler(weakly(weak_from_this(), [](AppDelegate& d, ListKey key) { d.listKey(key); }));
  panel_->setDescription(accessibleDotState(unpasted_));
}

// ---- Event sources --------------------------------------------------------

void AppDelegate::pasteKeyHandler(const KeyDown& event) {
  // Ctrl+V and Ctrl+Shift+V paste almost everywhere; Shift+Insert in
  // terminals and many X programs.
  const bool ctrlV = event.ctrl && event.shiftedText && event.shiftedText->toLower() == QStringLiteral("v");
  const bool shiftInsert = event.shift && !event.ctrl && event.insert;
  if (ctrlV || shiftInsert) pasted();
}

void AppDelegate::pasted() {
  setUnpasted(false);
  if (mode_ == Mode::normal) showResting();
}

void AppDelegate::setUnpasted(bool unpasted) {
  if (unpasted_ == unpasted) return;
  unpasted_ = unpasted;
  if (panel_) panel_->setDescription(accessibleDotState(unpasted_));
  notifyChanged();
}

void AppDelegate::screensChanged() {
  // A launch that found no display built no overlay; build it once one
  // appears, so the program does not stay invisible for good.
  if (drawnElsewhere_) return;
  if (!panel_) {
    if (auto screen = notchScreen(services_.displays)) buildOverlay(*screen);
  }
  if (mode_ == Mode::expanded) {
    renderHistory();
    placeHoverBands();  // at rest, showResting places them
  } else {
    showResting();
  }
}

// ---- Capture --------------------------------------------------------------

void AppDelegate::changeCheck() {
  const std::int64_t count = services_.clipboard.generation();
  if (count == lastChangeCount_) return;
  lastChangeCount_ = count;
  showCurrentClipboard();
}

std::optional<ClipItem> AppDelegate::clipboardEntry() {
  std::optional<ClipItem> entry;
  // Every format comes along, to be offered again as it came.
  std::shared_ptr<const ClipFormats> formats = services_.clipboard.formats();
  if (auto copied = services_.clipboard.text()) {
    if (auto text = normalizedCapture(*copied)) entry.emplace(std::move(text), nullptr, formats);
  }
  if (!entry) {
    if (auto image = services_.clipboard.image()) entry.emplace(std::nullopt, std::move(image), formats);
  }
  // Files with no text beside them (a file manager's own formats) are an
  // entry too, and so is HTML alone, as the text it reads as; other formats
  // alone have nothing a row could show.
  if (!entry && formats && !formats->fileNames().isEmpty()) entry.emplace(std::nullopt, nullptr, formats);
  if (!entry && formats) {
    if (auto html = formats->htmlText()) {
      if (auto text = normalizedCapture(*html)) entry.emplace(std::move(text), nullptr, formats);
    }
  }
  return entry;
}

void AppDelegate::showCurrentClipboard() {
  std::optional<ClipItem> entry = clipboardEntry();
  if (entry) record(std::move(*entry));
  setUnpasted(entry.has_value());
  showResting();
}

// ---- History --------------------------------------------------------------

void AppDelegate::record(ClipItem item) {
  recordInto(history_, std::move(item), maxHistory);
  persistHistory();
}

void AppDelegate::persistHistory() {
  services_.settings.setStringArray(kHistoryKey, storedTexts(history_));
  notifyChanged();
}

void AppDelegate::loadStoredHistory() {
  history_ = historyFromStoredTexts(services_.settings.stringArray(kHistoryKey).value_or(QStringList{}));
}

// ---- Placement ------------------------------------------------------------

void AppDelegate::place(double width, double contentH, bool animated) {
  if (!panel_) return;
  const auto screen = panelScreen();
  if (!screen) return;
  topGapValue_ = topGap(*screen);
  panel_->setTopOffsets(topOffsetsFor(topGapValue_));
  // The panel grows from its resting place on the display it opens on,
  // rather than flying over from another one.
  if (animated && !rectContainsPoint(screen->frame, Point{panel_->frame().midX(), panel_->frame().minY()}))
    panel_->setFrame(panelFrame(*screen, nubWidth, nubHeight), false);
  panel_->setFrame(panelFrame(*screen, width, contentH), animated);
  panel_->raise();
}

void AppDelegate::showResting() {
  mode_ = Mode::normal;
  if (!panel_) return;
  releaseKeyboard();
  panel_->setLabelHidden(true);
  panel_->setStackHidden(true);
  panel_->setDotHidden(!unpasted_);
  panel_->setBackdropBlack(false);
  panel_->setHasShadow(false);
  panel_->setClickThrough(true);
  place(nubWidth, nubHeight, false);
  placeHoverBands();
}

// A band on every display, since the list opens on whichever the pointer
// pushes into; raised above the resting panel, which takes no input. Where
// the window system may not say that the pointer left the open list, the
// list's whole display is a region too, under the panel, so that the
// pointer going anywhere else enters it; where it enters says whether the
// list stays.
void AppDelegate::placeHoverBands() {
  const PointerLimits limits = services_.hoverBands.limits();
  std::vector<Rect> bands;
  for (const ScreenInfo& screen : services_.displays.screens()) {
    Rect band = hoverBand(screen, hoverRegion());
    if (limits.bandRows > 0 && band.height > limits.bandRows) {
      band.y = band.maxY() - limits.bandRows;
      band.height = limits.bandRows;
    }
    bands.push_back(band);
  }
  std::vector<Rect> regions = bands;
  if (mode_ == Mode::expanded && limits.leavesUnreported) {
    if (const auto screen = panelScreen()) regions.push_back(screen->frame);  // after: the bands keep theirs
  }
  services_.hoverBands.setBands(regions);
  if (panel_) panel_->setPassThrough(bands);
}

std::optional<ScreenInfo> AppDelegate::panelScreen() const {
  // Open, the panel stays where the reported pointer opened it: a pointer
  // query can be stale (under Xwayland, say). At rest it follows the
  // pointer to its display.
  return mode_ == Mode::expanded && lastPointer_ ? notchScreenAt(services_.displays, *lastPointer_)
                                                 : notchScreen(services_.displays);
}

double AppDelegate::lineH() {
  if (!lineH_) lineH_ = std::ceil(services_.textMeasurer.defaultLineHeight());
  return *lineH_;
}

// ---- Hover ----------------------------------------------------------------

bool AppDelegate::cursorAtNotch(Point point) const {
  // The display is chosen from `point` itself, not from another query.
  return cursorAtNotchOn(notchScreenAt(services_.displays, point), point, hoverRegion());
}

void AppDelegate::pollCursor(std::optional<Point> pointer) {
  if (!panel_ || !panel_->isVisible()) return;
  // Opened from the keyboard, the list stays where it opened until a key,
  // a click or the shortcut closes it, wherever the pointer goes meanwhile.
  if (keyboardOpen_) return;
  lastPointer_ = pointer;
  if (mode_ == Mode::expanded) {
    if (pointer && (onOpenPanel(panel_->frame(), *pointer) || cursorAtNotch(*pointer))) return;
    showResting();
    return;
  }
  // Only a position the window system just reported opens the list: a
  // pointer query can be stale (under Xwayland, say).
  if (!pointer || !cursorAtNotch(*pointer)) return;
  if (!history_.empty())
    openList();
  else
    openMessage();
}

void AppDelegate::showOpenBackdrop() {
  panel_->setBackdropBlack(true);
  panel_->setHasShadow(true);
  panel_->setClickThrough(false);
  placeHoverBands();  // before the panel is raised above them
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
  const ListSizing message = listSizing();
  place(message.width, message.contentH, true);
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
  const ListSizing sizing = listSizing();

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
        weakly(weak, [index](AppDelegate& d) { d.deleteAction(index); }),
        accessibleRowName(entries[i], i, entries.size())});
  }
  panel_->setRows(std::move(rows));
  if (keyboardOpen_) highlight(std::min(highlighted_, entries.size() - 1));
  place(sizing.width, sizing.contentH, true);
}

// ---- The keyboard's way in ------------------------------------------------

void AppDelegate::openFromKeyboard() {
  if (drawnElsewhere_) {
    if (openElsewhere_) openElsewhere_();
    return;
  }
  if (!panel_) return;
  if (keyboardOpen_) return showResting();
  if (mode_ == Mode::normal) {
    // On the display the pointer is on now; it stays there until it closes.
    lastPointer_ = services_.displays.pointerPosition();
    keyboardOpen_ = true;
    highlighted_ = 0;
    if (!history_.empty())
      openList();
    else
      openMessage();
  } else {
    // Open by the pointer already: the keys take over the list as it is.
    keyboardOpen_ = true;
    if (!history_.empty()) highlight(0);
  }
  panel_->setTakesKeyboard(true);
}

void AppDelegate::listKey(ListKey key) {
  if (!keyboardOpen_) return;
  const std::size_t count = history_.size();
  switch (key) {
    case ListKey::close:
      return showResting();
    case ListKey::up:
      if (count > 0) highlight(highlighted_ > 0 ? highlighted_ - 1 : 0);
      return;
    case ListKey::down:
      if (count > 0) highlight(std::min(highlighted_ + 1, count - 1));
      return;
    case ListKey::choose:
      if (count > 0) selectAction(std::int64_t(highlighted_));
      return;
    case ListKey::remove:
      if (count > 0) deleteAction(std::int64_t(highlighted_));
      return;
  }
}

void AppDelegate::highlight(std::size_t row) {
  highlighted_ = row;
  panel_->setHighlightedRow(row);
}

void AppDelegate::releaseKeyboard() {
  if (!keyboardOpen_) return;
  keyboardOpen_ = false;
  panel_->setHighlightedRow(std::nullopt);
  panel_->setTakesKeyboard(false);
}

ListSizing AppDelegate::listSizing() {
  if (history_.empty()) return ListSizing{baseWidth, {}, lineH() + 2 * vPadding};
  const ListSizingSettings settings{rowHeight,    rowSpacing, baseWidth, maxWidthFactor,
                                    widthFitLines, maxExpandedH, hPadding, vPadding};
  return sizeHistoryList(displayText(history_.front()), history_.size(), settings, services_.textMeasurer,
                         rowKind(history_.front()) != RowKind::text);
}

void AppDelegate::setDrawnElsewhere(bool elsewhere) {
  if (drawnElsewhere_ == elsewhere) return;
  drawnElsewhere_ = elsewhere;
  mode_ = Mode::normal;
  keyboardOpen_ = false;
  if (elsewhere) {
    panel_.reset();
    services_.hoverBands.setBands({});
    return;
  }
  if (auto screen = notchScreen(services_.displays)) buildOverlay(*screen);
  showResting();
}

void AppDelegate::writeToClipboard(const ClipItem& entry) {
  Clipboard& clipboard = services_.clipboard;
  clipboard.clear();
  if (entry.text || entry.image || entry.formats) clipboard.setClip(entry.text, entry.image, entry.formats);
  // The program's own write is no copy to capture.
  lastChangeCount_ = clipboard.generation();
}

// On Linux the clipboard lives in the program that copied; when it quits,
// the newest entry is what the user expects the next paste to give. Not a
// new copy: the history and the dot stay as they are.
void AppDelegate::keepWhatOwnerHeld() {
  changeCheck();  // a copy read but not yet reported is the newest entry
  if (history_.empty()) return;
  const std::optional<ClipItem> held = clipboardEntry();
  if (!held || held->key != history_.front().key) return;
  writeToClipboard(history_.front());
}

void AppDelegate::clearHistory() {
  history_.clear();
  persistHistory();
  setUnpasted(false);
  showResting();
}

void AppDelegate::selectAction(std::int64_t index) {
  if (index < 0 || std::size_t(index) >= history_.size()) return;
  const ClipItem entry = history_[std::size_t(index)];
  writeToClipboard(entry);
  setUnpasted(true);
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
