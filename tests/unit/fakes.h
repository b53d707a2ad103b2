#pragma once

// In-memory stand-ins for the platform services, so the logic runs whole
// without a window system. The clipboard and the store are held to the
// real ones by the contract suites in tests/platform/.

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "app/app_delegate.h"
#include "platform/qt/qt_clip_offers.h"
#include "printers.h"

namespace tuckshelf::fakes {

// The entries' texts, newest first; "<img>" for a picture.
inline QStringList texts(const History& history) {
  QStringList out;
  for (const ClipItem& e : history) out.append(e.text.value_or(QStringLiteral("<img>")));
  return out;
}

// Takes up another program's copy the way the X11 clipboard does: a usable
// text leaves any picture unread, and a copy over the limits or marked
// secret reads as nothing. Every write replaces all contents and makes
// this program the owner.
class FakeClipboard : public Clipboard {
 public:
  std::int64_t count = 100;
  std::optional<QString> txt;
  std::shared_ptr<const ClipImage> img;
  std::shared_ptr<const ClipFormats> fmts;
  bool ours = false;  // this program owns the clipboard
  int reads = 0;
  qsizetype maxBytes = qsizetype(256) << 20;
  qint64 maxPixels = 100'000'000;
  qsizetype maxExtraBytes = qsizetype(32) << 20;
  std::function<void()> pasted, ownerGone, changed;
  bool changePending = false;

  // Another program copies something.
  void copyText(const QString& t) { copyBoth(t, nullptr); }
  void copyImage(std::shared_ptr<const ClipImage> i) { copyBoth(std::nullopt, std::move(i)); }
  void copySecret(const QString&) { copyBoth(std::nullopt, nullptr); }
  void copyBoth(std::optional<QString> t, std::shared_ptr<const ClipImage> i) {
    clear(), ours = false;
    if (t && !t->trimmed().isEmpty()) i.reset();
    if (i && qint64(i->size().width()) * i->size().height() > maxPixels) i.reset();
    if ((t && t->toUtf8().size() > maxBytes) || (i && i->encoded().size() > maxBytes)) return;
    txt = std::move(t), img = std::move(i);
    changePending = true;
  }
  // Another program copies `text` with `extras` beside it; extras crossing
  // the cap, or the one named `hung`, are not read.
  void copyFormats(const QString& t, const std::vector<ClipFormat>& extras, const QByteArray& hung = {}) {
    copyText(t);
    auto f = std::make_shared<ClipFormats>();
    f->add("text/plain;charset=utf-8", t.toUtf8());
    for (const ClipFormat& e : extras)
      if (isContentFormat(e.name) && e.name != hung && f->heldBytes() - t.toUtf8().size() + e.data.size() <= maxExtraBytes) f->add(e.name, e.data);
    fmts = std::move(f);
  }
  // What another program pastes as `name`.
  std::optional<QByteArray> pasteAs(const QByteArray& name) {
    for (const ClipFormat& f : clipOffers(txt, img.get(), fmts.get()))
      if (f.name == name) return pasteElsewhere(), f.data;
    return std::nullopt;
  }
  // The clipboard's report of the changes since the last reaches the
  // program, as the event loop turns: once for all of them.
  void report() {
    if (std::exchange(changePending, false) && changed) changed();
  }
  // Another program pastes text or a picture: only what this program serves can tell.
  void pasteElsewhere(bool picture = false) { ours && (picture ? !!img : !!txt) && pasted ? pasted() : void(); }
  // The program that copied quits, and what it held may be written back
  // first; or it empties the clipboard on purpose.
  void ownerQuits(bool onPurpose = false) {
    const std::int64_t before = count;
    if (!ours && !onPurpose && ownerGone) ownerGone();
    if (!ours && count == before) copyBoth(std::nullopt, nullptr);
  }

  std::int64_t generation() override { return count; }
  std::optional<QString> text() override { return ++reads, txt; }
  std::shared_ptr<const ClipImage> image() override { return ++reads, img; }
  void clear() override { ++count, changePending = true, ours = true, txt.reset(), img.reset(), fmts.reset(); }
  std::shared_ptr<const ClipFormats> formats() override { return fmts; }
  void setClip(const std::optional<QString>& t, const std::shared_ptr<const ClipImage>& i,
               const std::shared_ptr<const ClipFormats>& f) override {
    clear(), txt = t, img = i, fmts = f;
  }
  void setText(const QString& t) override { clear(), txt = t; }
  void setImage(const std::shared_ptr<const ClipImage>& i) override { clear(), img = i; }
  void setChangeHandler(std::function<void()> h) override { changed = std::move(h); }
  void setPasteHandler(std::function<void()> h) override { pasted = std::move(h); }
  void setOwnerGoneHandler(std::function<void()> h) override { ownerGone = std::move(h); }
};

class FakeSettingsStore : public SettingsStore {
 public:
  std::map<QString, QStringList> values;
  std::set<QString> malformed;  // keys holding something other than strings
  int writes = 0;

  std::optional<QStringList> stringArray(const QString& key) override {
    return values.count(key) && !malformed.count(key) ? std::optional(values[key]) : std::nullopt;
  }
  void setStringArray(const QString& key, const QStringList& v) override {
    ++writes, values[key] = v, malformed.erase(key);
  }
  QStringList stored() { return values[kHistoryKey]; }
};

class FakeDisplays : public Displays {
 public:
  // One 1920 x 1080 display at the origin with a 24-point menu bar.
  std::vector<ScreenInfo> list{ScreenInfo{Rect{0, 0, 1920, 1080}, 0, 24}};
  std::optional<ScreenInfo> main = list.front();
  Point pointer;
  std::vector<std::function<void()>> observers;

  std::vector<ScreenInfo> screens() const override { return list; }
  std::optional<ScreenInfo> primaryScreen() const override { return main; }
  Point pointerPosition() const override { return pointer; }
  void observeScreenChanges(std::function<void()> handler) override { observers.push_back(std::move(handler)); }
  void notifyChanged() { for (auto& o : observers) o(); }
  static FakeDisplays single() { return {}; }
};

class FakeMonitors : public InputMonitors {
 public:
  using Handler = std::function<void(const KeyDown&)>;
  std::vector<Handler> globalKeys, localKeys;
  bool fail = false;

  MonitorToken addGlobalKeyDownMonitor(Handler h) override { return add(globalKeys, std::move(h)); }
  MonitorToken addLocalKeyDownMonitor(Handler h) override { return add(localKeys, std::move(h)); }
  MonitorToken add(std::vector<Handler>& to, Handler h) {
    return fail ? nullptr : (to.push_back(h), std::make_shared<int>(0));
  }
  // A key typed anywhere, or while the program's own panel has the keyboard.
  void typeKey(const KeyDown& down, bool local = false) { for (auto& h : local ? localKeys : globalKeys) h(down); }
  void typeKey(bool ctrl, std::optional<QString> chars) { typeKey(key(ctrl, false, chars)); }
  static KeyDown key(bool ctrl, bool shift, std::optional<QString> chars, bool insert = false) {
    KeyDown down;
    down.ctrl = ctrl, down.shift = shift, down.shiftedText = chars, down.insert = insert;
    return down;
  }
};

class FakeTimers : public Timers {
 public:
  struct Scheduled { double seconds; std::function<void()> handler; std::weak_ptr<void> token; };
  std::vector<Scheduled> timers, once;

  TimerToken scheduleRepeating(double s, std::function<void()> handler) override { return add(timers, s, handler); }
  TimerToken scheduleOnce(double s, std::function<void()> handler) override { return add(once, s, handler); }
  TimerToken add(std::vector<Scheduled>& to, double seconds, std::function<void()> handler) {
    auto token = std::make_shared<int>(0);
    return to.push_back({seconds, std::move(handler), token}), token;
  }
  // Lets the one-shot timers still wanted run out, and those they start.
  void settle() {
    while (!once.empty())
      for (auto& t : std::exchange(once, {})) t.token.expired() ? void() : t.handler();
  }
  // Fires every repeating timer whose token is still held.
  void fire() { for (auto& t : timers) t.token.expired() ? void() : t.handler(); }
};

class FakeInstance : public InstanceGuard {
 public:
  int claims = 0;
  std::function<void()> earlierCopyQuits;  // runs inside claim()
  std::function<void()> quitting, clear, open;  // what a later copy or the command line asks
  void claim() override { ++claims, earlierCopyQuits ? earlierCopyQuits() : void(); }
  void setHandlers(Handlers h) override { quitting = h.quitting, clear = h.clear, open = h.open; }
};

// Every character is `charWidth` wide and a wrapped line `lineSpacing`
// tall, floor(width / charWidth) characters to a line. Like the real one,
// it looks no further into a text than `enough` needs.
class FakeMeasurer : public TextMeasurer {
 public:
  double charWidth = 6, lineSpacing = 15;
  int measuredChars = 0;

  double defaultLineHeight() override { return 14.4; }
  double singleLineWidth(const QString& text, double enough) override {
    const qsizetype n = std::min(text.size(), qsizetype(std::ceil(enough / charWidth)));
    return measuredChars += int(n), n * charWidth;
  }
  double wrappedHeight(const QString& text, double width, double enough) override {
    const qsizetype perLine = std::max<qsizetype>(1, qsizetype(width / charWidth));
    const qsizetype n = std::min(text.size(), perLine * (qsizetype(enough / lineSpacing) + 1));
    return measuredChars += int(n), std::max<qsizetype>(1, (n + perLine - 1) / perLine) * lineSpacing;
  }
};

class FakeOverlay : public OverlayWindow {
 public:
  OverlaySetup setup;
  Rect currentFrame;
  TopOffsets offsets;
  bool visible = false, lastAnimated = false, shadow = false, ignoresMouse = true, black = false;
  bool labelHidden = true, dotHidden = true, stackHidden = true;
  int frameSets = 0, rowBuilds = 0;
  LabelText label;
  // The rows replaced by the last rebuild stay alive: a delete rebuilds the
  // list from inside a row's own callback.
  std::vector<RowContent> rows, retiredRows;
  PointerHandler pointer;

  explicit FakeOverlay(const OverlaySetup& s) : setup(s), currentFrame(s.frame), offsets(s.offsets) {}

  bool isVisible() const override { return visible; }
  Rect frame() const override { return currentFrame; }
  void setFrame(const Rect& f, bool animated) override { currentFrame = f, lastAnimated = animated, ++frameSets; }
  void raise() override { visible = true; }
  void setHasShadow(bool on) override { shadow = on; }
  void setClickThrough(bool on) override { ignoresMouse = on; }
  std::vector<Rect> passThrough;
  void setPassThrough(const std::vector<Rect>& r) override { passThrough = r; }
  void setPointerHandler(PointerHandler h) override { pointer = std::move(h); }
  void setBackdropBlack(bool b) override { black = b; }
  void setLabelHidden(bool h) override { labelHidden = h; }
  void setLabelText(const LabelText& t) override { label = t; }
  void setDotHidden(bool h) override { dotHidden = h; }
  void setStackHidden(bool h) override { stackHidden = h; }
  void setTopOffsets(const TopOffsets& o) override { offsets = o; }
  void setRows(std::vector<RowContent> r) override { retiredRows = std::exchange(rows, std::move(r)), ++rowBuilds; }
  bool takesKeyboard = false;
  std::optional<std::size_t> highlighted;
  QString description;
  KeyHandler keys;
  void setTakesKeyboard(bool on) override { takesKeyboard = on; }
  void setKeyHandler(KeyHandler h) override { keys = std::move(h); }
  void setHighlightedRow(std::optional<std::size_t> row) override { highlighted = row; }
  void setDescription(const QString& d) override { description = d; }
  void press(ListKey key) { if (takesKeyboard) keys(key); }
  void clickRow(std::size_t i) { rows.at(i).onSelect(); }
  void clickRemove(std::size_t i) { rows.at(i).onDelete(); }
};

class FakeHoverBands : public HoverBands {
 public:
  std::vector<Rect> bands;
  PointerHandler pointer;
  PointerLimits pointerLimits;
  PointerLimits limits() const override { return pointerLimits; }
  void setBands(const std::vector<Rect>& b) override { bands = b; }
  void setPointerHandler(PointerHandler h) override { pointer = std::move(h); }
};

// The whole program on fakes. `overlay` points at the panel once built.
struct Rig {
  using Kind = PointerEvent::Kind;

  FakeClipboard clipboard;
  FakeSettingsStore defaults;
  FakeDisplays displays;
  FakeMonitors monitors;
  FakeTimers timers;
  FakeInstance instance;
  FakeMeasurer measurer;
  FakeHoverBands bands;
  FakeOverlay* overlay = nullptr;
  int overlaysBuilt = 0;

  std::shared_ptr<AppDelegate> make() {
    return AppDelegate::create({clipboard, defaults, displays, monitors, timers, instance, measurer, bands,
                                [this](const OverlaySetup& setup) -> std::unique_ptr<OverlayWindow> {
                                  ++overlaysBuilt;
                                  return std::unique_ptr<FakeOverlay>(overlay = new FakeOverlay(setup));
                                }});
  }
  std::shared_ptr<AppDelegate> launch(std::optional<QString> copied = std::nullopt) {
    if (copied) clipboard.copyText(*copied);
    auto d = make();
    return d->launch(), d;
  }

  // The pointer over a band or the panel, as the window system reports it:
  // the panel hears of the pointer only while it takes input. A pointer
  // query made afterwards gives the same position.
  void band(Kind kind, Point p = {}) {
    if (kind != Kind::left) displays.pointer = p;
    bands.pointer({kind, p});
  }
  void panel(Kind kind, Point p = {}) {
    if (kind != Kind::left) displays.pointer = p;
    if (overlay->visible && !overlay->ignoresMouse) overlay->pointer({kind, p});
  }
  void pointAtNotch() { band(Kind::entered, {960, 1080}); }
  // Another program copies `text`, and the clipboard's report comes.
  void copied(const QString& text) { clipboard.copyText(text), clipboard.report(); }
  // Out of the band and the panel, and the grace for coming back over.
  void pointAway() { panel(Kind::left), band(Kind::left), displays.pointer = {100, 100}, timers.settle(); }
};

}  // namespace tuckshelf::fakes
