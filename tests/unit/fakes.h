#pragma once

// In-memory stand-ins for the platform services, so the logic runs whole
// without a window system.

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "app/app_delegate.h"

// Readable strings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tuckshelf::fakes {

class FakeClipboard : public Clipboard {
 public:
  std::int64_t count = 100;
  std::optional<QString> txt;
  std::shared_ptr<const ClipImage> img;
  int reads = 0;

  // Another program copies something.
  void copyText(const QString& t) { ++count; txt = t; img.reset(); }
  void copyImage(std::shared_ptr<const ClipImage> i) { ++count; txt.reset(); img = std::move(i); }
  void copyBoth(const QString& t, std::shared_ptr<const ClipImage> i) { ++count; txt = t; img = std::move(i); }
  void copyNothing() { ++count; txt.reset(); img.reset(); }

  std::int64_t generation() override { return count; }
  std::optional<QString> text() override { ++reads; return txt; }
  std::shared_ptr<const ClipImage> image() override { ++reads; return img; }
  void clear() override { copyNothing(); }
  void setText(const QString& t) override { ++count; txt = t; }
  void setImage(const std::shared_ptr<const ClipImage>& i) override { ++count; img = i; }
};

class FakeSettingsStore : public SettingsStore {
 public:
  std::map<QString, QStringList> values;
  std::map<QString, bool> malformed;
  int writes = 0;

  std::optional<QStringList> stringArray(const QString& key) override {
    if (malformed[key]) return std::nullopt;
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void setStringArray(const QString& key, const QStringList& value) override {
    ++writes;
    values[key] = value;
    malformed[key] = false;
  }
  QStringList stored() { return values[kHistoryKey]; }
};

class FakeDisplays : public Displays {
 public:
  std::vector<ScreenInfo> list;
  std::optional<ScreenInfo> main;
  Point pointer;
  std::vector<std::function<void()>> observers;

  std::vector<ScreenInfo> screens() const override { return list; }
  std::optional<ScreenInfo> primaryScreen() const override { return main; }
  Point pointerPosition() const override { return pointer; }
  void observeScreenChanges(std::function<void()> handler) override { observers.push_back(std::move(handler)); }
  void notifyChanged() { for (auto& o : observers) o(); }

  // One 1920 x 1080 display at the origin with a 24-point menu bar.
  static FakeDisplays single(double inset = 0, double menuBar = 24) {
    FakeDisplays d;
    d.list = {ScreenInfo{Rect{0, 0, 1920, 1080}, inset, menuBar}};
    d.main = d.list.front();
    return d;
  }
};

class FakeMonitors : public InputMonitors {
 public:
  std::vector<std::function<void(const KeyDown&)>> globalKeys, localKeys;
  bool fail = false;

  MonitorToken addGlobalKeyDownMonitor(std::function<void(const KeyDown&)> h) override {
    if (fail) return nullptr;
    globalKeys.push_back(std::move(h));
    return std::make_shared<int>(1);
  }
  MonitorToken addLocalKeyDownMonitor(std::function<void(const KeyDown&)> h) override {
    if (fail) return nullptr;
    localKeys.push_back(std::move(h));
    return std::make_shared<int>(2);
  }
  void typeKey(bool command, std::optional<QString> chars) {
    for (auto& h : globalKeys) h(KeyDown{command, chars});
  }
  // A key typed while the program's own panel has the keyboard.
  void typeKeyLocally(bool command, std::optional<QString> chars) {
    for (auto& h : localKeys) h(KeyDown{command, chars});
  }
};

class FakeTimers : public Timers {
 public:
  struct Scheduled { double seconds; std::function<void()> handler; std::weak_ptr<void> token; };
  std::vector<Scheduled> timers;

  TimerToken scheduleRepeating(double seconds, std::function<void()> handler) override {
    auto token = std::make_shared<int>(0);
    timers.push_back({seconds, std::move(handler), token});
    return token;
  }
  std::vector<Scheduled> soon;

  TimerToken scheduleSoon(std::function<void()> handler) override {
    auto token = std::make_shared<int>(0);
    soon.push_back({0, std::move(handler), token});
    return token;
  }
  // Runs what was scheduled soon and is still wanted, as the event loop would.
  void settle() {
    while (!soon.empty()) {
      auto pending = std::exchange(soon, {});
      for (auto& t : pending)
        if (!t.token.expired()) t.handler();
    }
  }
  // Fires every repeating timer whose token is still held.
  void fire() {
    for (auto& t : timers)
      if (!t.token.expired()) t.handler();
  }
};

class FakeProcesses : public ProcessTable {
 public:
  ProcessEntry me{1000, std::string("/usr/bin/tuckshelf")};
  std::vector<ProcessEntry> running;
  std::vector<std::int64_t> killed;

  ProcessEntry self() override { return me; }
  std::vector<ProcessEntry> list() override { return running; }
  void kill(const ProcessEntry& app) override { killed.push_back(app.pid); }
};

// Every character is 6 points wide and a line 15 points tall; wrapping
// fits floor(width / 6) characters a line. A line break counts as one more
// character, so texts with line breaks are not measured as the real
// measurer would.
class FakeMeasurer : public TextMeasurer {
 public:
  double lineHeight = 14.4;
  double charWidth = 6;
  double lineSpacing = 15;
  int measuredChars = 0;  // how much text was looked at

  double defaultLineHeight() override { ++lineHeightReads; return lineHeight; }
  double singleLineWidth(const QString& text, double enough) override {
    const qsizetype perEnough = qsizetype(std::ceil(enough / charWidth));
    const qsizetype n = std::min(text.size(), perEnough);
    measuredChars += int(n);
    return n * charWidth;
  }
  double wrappedHeight(const QString& text, double width, double enough) override {
    const qsizetype perLine = std::max<qsizetype>(1, qsizetype(width / charWidth));
    const qsizetype linesNeeded = qsizetype(enough / lineSpacing) + 1;
    const qsizetype n = std::min(text.size(), perLine * linesNeeded);
    measuredChars += int(n);
    const qsizetype lines = std::max<qsizetype>(1, (n + perLine - 1) / perLine);
    return lines * lineSpacing;
  }
  int lineHeightReads = 0;
};

class FakeOverlay : public OverlayWindow {
 public:
  OverlaySetup setup;
  bool visible = false;
  Rect currentFrame;
  bool lastAnimated = false;
  int frameSets = 0, ordersFront = 0;
  bool shadow = false, ignoresMouse = true, black = false;
  bool labelHidden = true, dotHidden = true, stackHidden = true;
  LabelText label;
  TopOffsets offsets;
  std::vector<RowContent> rows;
  int rowBuilds = 0;
  // The rows replaced by the last rebuild: a delete rebuilds the list from
  // inside a row's own callback, and that row must outlive the call.
  std::vector<RowContent> retiredRows;

  explicit FakeOverlay(const OverlaySetup& s) : setup(s), currentFrame(s.frame), offsets(s.offsets) {}

  bool isVisible() const override { return visible; }
  Rect frame() const override { return currentFrame; }
  void setFrame(const Rect& f, bool animated) override { currentFrame = f; lastAnimated = animated; ++frameSets; }
  void raise() override { visible = true; ++ordersFront; }
  void setHasShadow(bool on) override { shadow = on; }
  void setClickThrough(bool i) override { ignoresMouse = i; }
  PointerHandler pointer;
  void setPointerHandler(PointerHandler h) override { pointer = std::move(h); }
  void setBackdropBlack(bool b) override { black = b; }
  void setLabelHidden(bool h) override { labelHidden = h; }
  void setLabelText(const LabelText& t) override { label = t; }
  void setDotHidden(bool h) override { dotHidden = h; }
  void setStackHidden(bool h) override { stackHidden = h; }
  void setTopOffsets(const TopOffsets& o) override { offsets = o; }
  void setRows(std::vector<RowContent> r) override {
    retiredRows = std::exchange(rows, std::move(r));
    ++rowBuilds;
  }
  // A click on row i, or on its remove button.
  void clickRow(std::size_t i) { rows.at(i).onSelect(); }
  void clickRemove(std::size_t i) { rows.at(i).onDelete(); }
};

class FakeHoverBands : public HoverBands {
 public:
  std::vector<Rect> bands;
  PointerHandler pointer;
  int raises = 0;
  void setBands(const std::vector<Rect>& b) override { bands = b; ++raises; }
  void setPointerHandler(PointerHandler h) override { pointer = std::move(h); }
};

// The whole program on fakes. `overlay` points at the panel once built.
struct Rig {
  FakeClipboard clipboard;
  FakeSettingsStore defaults;
  FakeDisplays displays = FakeDisplays::single();
  FakeMonitors monitors;
  FakeTimers timers;
  FakeProcesses processes;
  FakeMeasurer measurer;
  FakeHoverBands bands;
  FakeOverlay* overlay = nullptr;
  int overlaysBuilt = 0;

  std::shared_ptr<AppDelegate> make() {
    return AppDelegate::create(PlatformServices{
        clipboard, defaults, displays, monitors, timers, processes, measurer, bands,
        [this](const OverlaySetup& setup) {
          auto o = std::make_unique<FakeOverlay>(setup);
          overlay = o.get();
          ++overlaysBuilt;
          return std::unique_ptr<OverlayWindow>(std::move(o));
        }});
  }
  std::shared_ptr<AppDelegate> launch() {
    auto d = make();
    d->launch();
    return d;
  }
  // The pointer enters the band of the single display, moves to `p` over
  // the panel or leaves everything, as the window system reports it.
  void pointAtNotch() { enterBand({960, 1080}); }
  void enterBand(Point p) {
    displays.pointer = p;
    bands.pointer({PointerEvent::Kind::entered, p});
  }
  void moveOverPanel(Point p) {
    displays.pointer = p;
    overlay->pointer({PointerEvent::Kind::moved, p});
  }
  void pointAway() {
    displays.pointer = Point{100, 100};
    bands.pointer({PointerEvent::Kind::left, {}});
    if (overlay->pointer) overlay->pointer({PointerEvent::Kind::left, {}});
    timers.settle();
  }
};

}  // namespace tuckshelf::fakes
