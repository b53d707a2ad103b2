// The launch, the event sources that drive the program afterwards, and
// opening and collapsing the list as the window system reports the pointer.

#include <gtest/gtest.h>

#include <QImage>
#include <QStringEncoder>

#include "fakes.h"

namespace tuckshelf {
namespace {

using namespace Qt::StringLiterals;
using fakes::Rig;
using fakes::texts;
using Kind = PointerEvent::Kind;
using Mode = AppDelegate::Mode;

TEST(Launch, ClaimsTheDisplayLoadsCapturesAndRestsWithTheDot) {
  for (bool monitorsFail : {false, true}) {  // nothing hangs on them
    Rig rig;
    rig.monitors.fail = monitorsFail, rig.defaults.values[kHistoryKey] = {"a", "b"};
    rig.instance.earlierCopyQuits = [&] { rig.defaults.values[kHistoryKey] += "stored on its way out"; };
    auto d = rig.launch(QStringLiteral("  b\n"));
    EXPECT_EQ(texts(d->history()), (QStringList{"b", "a", "stored on its way out"}));
    EXPECT_EQ(rig.defaults.stored(), texts(d->history()));
    ASSERT_EQ(rig.overlaysBuilt, 1);
    EXPECT_TRUE(rig.overlay->setup.frame == (Rect{835, 1048, 250, 32}) && rig.overlay->frameSets == 1);  // placed once
    EXPECT_TRUE(d->unpasted() && rig.overlay->visible && !rig.overlay->dotHidden);
    EXPECT_EQ(rig.bands.bands, std::vector<Rect>{(Rect{835, 1053, 216, 27})});
    EXPECT_TRUE(rig.timers.timers.empty());  // nothing runs while nothing happens
    const int writes = rig.defaults.writes;
    rig.clipboard.report(), rig.instance.quitting();  // not taken up twice, and stored once more on the way out
    EXPECT_EQ(rig.defaults.writes, writes + 1);
    rig.pointAtNotch(), rig.instance.clear();  // from the command line
    EXPECT_TRUE(d->history().empty() && rig.defaults.stored().isEmpty() && d->mode() == Mode::normal);
    EXPECT_TRUE(!d->unpasted() && rig.overlay->dotHidden);
  }
}

TEST(Launch, WithoutADisplayRunsOnAndBuildsTheOverlayLater) {
  Rig rig;
  rig.displays.list.clear(), rig.displays.main = std::nullopt;
  auto d = rig.launch(QStringLiteral("x"));
  rig.pointAtNotch(), rig.copied(QStringLiteral("y"));
  rig.monitors.typeKey(true, QStringLiteral("v")), rig.displays.notifyChanged();
  EXPECT_TRUE(rig.overlaysBuilt == 0 && texts(d->history()) == (QStringList{"y", "x"}));
  rig.displays.list = {ScreenInfo{Rect{0, 0, 1920, 1080}, 32, 24}};
  rig.copied(QStringLiteral("z")), rig.displays.notifyChanged();
  ASSERT_EQ(rig.overlaysBuilt, 1);
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{835, 1040, 250, 40}));
  EXPECT_TRUE(rig.overlay->visible && !rig.overlay->dotHidden);
}

TEST(Events, HandlersDoNothingOnceTheDelegateIsGone) {
  Rig rig;
  auto d = rig.launch(QStringLiteral("a"));
  rig.pointAtNotch();
  const RowContent row = rig.overlay->rows.at(0);
  const auto report = rig.clipboard.changed;
  const auto panel = rig.overlay->pointer;
  rig.band(Kind::left);  // a leave waiting out its grace
  d.reset();
  rig.clipboard.copyText(QStringLiteral("b"));
  const std::int64_t count = rig.clipboard.count;
  row.onSelect(), row.onDelete(), report(), rig.timers.settle(), rig.instance.quitting(), rig.instance.clear();
  rig.monitors.typeKey(true, QStringLiteral("v")), rig.pointAtNotch(), panel({Kind::entered, {960, 1060}});
  rig.displays.notifyChanged(), rig.clipboard.ownerQuits();
  EXPECT_TRUE(rig.clipboard.count == count + 1 && rig.defaults.writes == 1 && rig.overlaysBuilt == 1);
}

TEST(Events, AReportTakesUpOnlyTheLatestContents) {
  Rig rig;
  rig.defaults.values[kHistoryKey] = {"a"};
  auto d = rig.launch();  // with an empty clipboard
  EXPECT_TRUE(!d->unpasted() && rig.overlay->dotHidden);
  const int reads = rig.clipboard.reads;
  rig.clipboard.report();
  EXPECT_EQ(rig.clipboard.reads, reads);  // unchanged: contents not read
  for (const char* copied : {"one", "two", "three"}) rig.clipboard.copyText(QString::fromUtf8(copied));
  rig.clipboard.report();
  EXPECT_TRUE(texts(d->history()) == (QStringList{"three", "a"}) && rig.defaults.writes == 1);
  QImage img(2, 2, QImage::Format_RGB32);
  img.fill(Qt::green);
  rig.clipboard.copyBoth(QStringLiteral(" \n\t"), ClipImage::fromImage(img));  // blank text: the picture counts
  rig.clipboard.report();
  EXPECT_EQ(d->history().at(0).image, rig.clipboard.img);
  EXPECT_EQ(rig.defaults.stored(), (QStringList{"three", "a"}));
  rig.clipboard.copyText(QStringLiteral(" words\n")), rig.clipboard.count = 3;  // a generation going down changes too
  rig.clipboard.report();
  EXPECT_EQ(texts(d->history()), (QStringList{"words", "<img>", "three", "a"}));
  rig.copied(QStringLiteral("\n"));
  EXPECT_TRUE(!d->unpasted() && d->history().size() == 4);
}

TEST(Events, PastesHideTheDot) {
  const auto key = fakes::FakeMonitors::key;
  for (auto [down, paste] : {std::pair{key(true, false, "v", false), true}, {key(true, true, "V", false), true},
                             {key(false, true, "V", false), false}, {key(true, false, std::nullopt, false), false},
                             {key(true, false, "vv", false), false}, {key(true, false, "c", false), false},
                             {key(false, true, std::nullopt, true), true}, {key(true, true, std::nullopt, true), false},
                             {key(false, false, std::nullopt, true), false}}) {
    for (bool local : {false, true}) {
      SCOPED_TRACE(testing::Message() << down.ctrl << down.shift << down.insert << local);
      Rig rig;
      auto d = rig.launch(QStringLiteral("x"));
      rig.monitors.typeKey(down, local);
      EXPECT_TRUE(d->unpasted() != paste && rig.overlay->dotHidden == paste);
    }
  }
  Rig rig;  // a paste of what another program copied cannot be heard; of our own write, it can
  auto d = rig.launch(QStringLiteral("theirs"));
  rig.clipboard.pasteElsewhere();
  ASSERT_TRUE(d->unpasted());
  rig.pointAtNotch(), rig.monitors.typeKey(true, QStringLiteral("v"));  // with the list open: the list stays
  EXPECT_TRUE(d->mode() == Mode::expanded && !d->unpasted());
  rig.overlay->clickRow(0), rig.clipboard.pasteElsewhere();
  EXPECT_TRUE(!d->unpasted() && rig.overlay->dotHidden);
}

TEST(Events, WhatAQuittingOwnerHeldStaysPasteable) {
  // When it is the newest entry, and the owner quit rather than emptied the clipboard.
  for (auto [copied, onPurpose, kept] : {std::tuple{" x\n", false, true}, {"\n", false, false}, {"x", true, false}}) {
    Rig rig;
    auto d = rig.launch(QStringLiteral("x"));
    rig.copied(QString::fromUtf8(copied));
    const int writes = rig.defaults.writes;
    rig.clipboard.ownerQuits(onPurpose);
    EXPECT_EQ(rig.clipboard.txt, kept ? std::optional<QString>("x") : std::nullopt) << copied;
    rig.clipboard.report();  // not a copy to record again
    EXPECT_TRUE(rig.defaults.writes == writes && texts(d->history()) == QStringList{"x"} && d->unpasted() == kept);
  }
}

// Every format comes back: from the chosen row, and when the owner quits.
// Files with no text are an entry too, held in memory only.
TEST(Events, RichClipsComeBackWithEveryFormat) {
  Rig rig;
  auto d = rig.launch();
  rig.clipboard.copyFormats(u"rich"_s, {{"text/html", "<b>rich</b>"}}), rig.clipboard.report();
  const auto rich = rig.clipboard.fmts;
  rig.clipboard.copyText(u"files"_s), rig.clipboard.fmts = std::make_shared<ClipFormats>();
  std::const_pointer_cast<ClipFormats>(rig.clipboard.fmts)->add("text/uri-list", "file:///tmp/a.pdf");
  rig.clipboard.txt.reset(), rig.clipboard.report();
  EXPECT_TRUE(d->history().size() == 2 && rig.defaults.stored() == QStringList{"rich"});
  rig.clipboard.ownerQuits();
  EXPECT_EQ(rig.clipboard.pasteAs("text/uri-list"), QByteArray("file:///tmp/a.pdf"));
  d->selectAction(1);
  EXPECT_TRUE(rig.clipboard.fmts == rich && rig.clipboard.pasteAs("text/html") == QByteArray("<b>rich</b>"));

  // HTML alone is the text it reads as (Firefox's is UTF-16), up to what
  // parses at once; past that it is no entry, as other formats alone.
  const auto copyHtmlAlone = [&](const QByteArray& html) {
    rig.clipboard.copyFormats(u""_s, {{"text/html", html}}), rig.clipboard.txt.reset(), rig.clipboard.report();
  };
  copyHtmlAlone(QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)(
      u"<p>caf\u00E9 <b>au</b><img src='a.png'><br>lait</p>"_s));
  EXPECT_EQ(rig.defaults.stored(), (QStringList{u"caf\u00E9 au lait"_s, u"rich"_s}));
  EXPECT_TRUE(d->unpasted() && rig.clipboard.pasteAs("text/html")->startsWith("\xFF\xFE<\0p\0"));
  for (const QByteArray& nothingToRead : {"<p>" + QByteArray(kMaxHtmlForText, 'x') + "</p>", QByteArray("<img src='a.png'>")}) {
    copyHtmlAlone(nothingToRead);
    EXPECT_TRUE(d->history().size() == 3 && !d->unpasted());
  }
}

TEST(Events, ScreenChangePlacesWhatIsShownAndABandOnEveryDisplay) {
  Rig rig;
  auto d = rig.launch(QStringLiteral("x"));
  rig.displays.pointer = {100, 100}, rig.displays.list[0].frame = Rect{0, 0, 2560, 1440};
  rig.displays.list.push_back(ScreenInfo{Rect{2560, 0, 1001, 800}, 0, 30}), rig.displays.notifyChanged();
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{1155, 1408, 250, 32}));
  EXPECT_EQ(rig.bands.bands, (std::vector<Rect>{{1155, 1413, 216, 27}, {2935.5, 767, 216, 33}}));  // unrounded
  rig.band(Kind::entered, {1280, 1440});
  rig.displays.list[0].topInset = 38, rig.displays.notifyChanged();
  EXPECT_TRUE(rig.overlay->rowBuilds == 2 && rig.overlay->currentFrame == (Rect{1170, 1440 - 38 - 46, 220, 38 + 46}));
  EXPECT_EQ(rig.bands.bands.front(), (Rect{1155, 1440 - 41, 216, 41}));  // open, the bands follow too
  EXPECT_EQ(rig.overlay->passThrough, rig.bands.bands);
  rig.overlay->clickRemove(0), rig.band(Kind::moved, {1280, 1440});
  ASSERT_FALSE(rig.overlay->labelHidden);
  rig.displays.notifyChanged();  // the empty message collapses
  EXPECT_TRUE(d->mode() == Mode::normal && rig.overlay->currentFrame == (Rect{1155, 1394, 250, 46}));
}

// One 1920 x 1080 display, gap 24: the band's rule is 835 < x < 1051,
// y > 1053; the list of one short entry spans 850 <= x < 1070, 1010 <= y < 1080.
const Point kNotch{960, 1080};

void expectResting(const Rig& rig, Mode mode, bool dot) {
  const fakes::FakeOverlay& o = *rig.overlay;
  EXPECT_TRUE(mode == Mode::normal && o.currentFrame == (Rect{835, 1048, 250, 32}) && o.dotHidden != dot);
  EXPECT_TRUE(!o.lastAnimated && !o.black && !o.shadow && o.ignoresMouse && o.labelHidden && o.stackHidden);
}

void expectOpen(const Rig& rig, Mode mode, bool list) {
  const fakes::FakeOverlay& o = *rig.overlay;
  EXPECT_TRUE(mode == Mode::expanded && o.labelHidden == list && o.stackHidden != list);
  EXPECT_TRUE(o.lastAnimated && o.black && o.shadow && o.dotHidden && !o.ignoresMouse);
}

TEST(Hover, PointerEventsOpenAndCollapseTheList) {
  // What reaches the program, one step at a time.
  enum What { band, panel, grace, report, staleQuery };
  struct Step { What what; Kind kind = Kind::moved; Point p = kNotch; };
  const Step enterBand{band, Kind::entered}, leaveBand{band, Kind::left}, enterPanel{panel, Kind::entered, {960, 1030}},
      leavePanel{panel, Kind::left}, graceOver{grace}, aReport{report}, stale{staleQuery};
  struct Case { const char* name; std::vector<Step> steps; Mode after; };
  for (const Case& c : std::vector<Case>{
           {"entering the band opens", {enterBand}, Mode::expanded},
           {"the band's own left column is outside the rule", {{band, Kind::entered, {835, 1079}}}, Mode::normal},
           {"motion into the rule opens", {{band, Kind::entered, {835, 1079}}, {band, Kind::moved, {836, 1079}}},
            Mode::expanded},
           {"a pointer query alone never opens", {stale, aReport, graceOver}, Mode::normal},
           {"leaving band and panel", {enterBand, enterPanel, leaveBand, leavePanel, graceOver}, Mode::normal},
           {"from the panel back into the band within the grace",
            {enterBand, enterPanel, leaveBand, leavePanel, enterBand, graceOver}, Mode::expanded},
           {"into the panel reported after the band's leave", {enterBand, leaveBand, enterPanel, graceOver},
            Mode::expanded},
           {"a stale query does not hold it open", {enterBand, leaveBand, stale, graceOver, aReport}, Mode::normal},
           {"into the panel's corner pixel", {enterBand, {panel, Kind::entered, {850, 1011}}, leaveBand, graceOver},
            Mode::expanded},
           {"left of the panel, in the band", {enterBand, {band, Kind::moved, {840, 1079}}}, Mode::expanded},
           {"the band's left column", {enterBand, {band, Kind::moved, {835, 1079}}}, Mode::normal},
       }) {
    SCOPED_TRACE(c.name);
    Rig rig;
    auto d = rig.launch(QStringLiteral("short"));
    for (const Step& s : c.steps) {
      if (s.what == band) rig.band(s.kind, s.p);
      if (s.what == panel) rig.panel(s.kind, s.p);
      if (s.what == grace) rig.timers.settle();
      if (s.what == report) rig.clipboard.report();
      if (s.what == staleQuery) rig.displays.pointer = s.p;
    }
    EXPECT_EQ(d->mode(), c.after);
  }
}

TEST(Hover, OpensTheListOrTheMessageAndRestsAgain) {
  for (bool empty : {false, true}) {
    Rig rig;
    auto d = empty ? rig.launch() : rig.launch(QStringLiteral("short"));
    expectResting(rig, d->mode(), !empty);
    rig.overlay->visible = false, rig.pointAtNotch();  // a panel not on screen ignores the pointer
    EXPECT_EQ(d->mode(), Mode::normal);
    rig.overlay->visible = true, rig.pointAtNotch();
    expectOpen(rig, d->mode(), !empty);
    // 220 wide; one row of 30, or the message a line of ceil(14.4) tall; 16 of margins below the gap.
    EXPECT_EQ(rig.overlay->currentFrame, (empty ? Rect{850, 1025, 220, 55} : Rect{850, 1010, 220, 70}));
    EXPECT_EQ(rig.overlay->rowBuilds, empty ? 0 : 1);
    const LabelText& label = rig.overlay->label;
    EXPECT_TRUE(!empty || (label.text == u"clipboard's empty \u2728"_s && label.whiteAlpha == 0.8 &&
                           label.obliqueness == 0.18));
    rig.panel(Kind::entered, {1060, 1075}), rig.band(Kind::left);  // down onto the panel, right of the band
    rig.timers.settle(), rig.clipboard.report();
    EXPECT_TRUE(d->mode() == Mode::expanded && rig.overlay->rowBuilds == (empty ? 0 : 1));
    rig.pointAway();
    expectResting(rig, d->mode(), !empty);
  }
}

TEST(Hover, CaptureWhileOpenCollapsesAndOnlyAnEventReopens) {
  Rig rig;
  auto d = rig.launch(QStringLiteral("first"));
  rig.pointAtNotch();
  rig.copied(QStringLiteral("second"));
  expectResting(rig, d->mode(), true);
  rig.copied(QStringLiteral("third"));
  EXPECT_EQ(d->mode(), Mode::normal);  // the pointer is still at the notch, but nothing says so
  rig.band(Kind::moved, kNotch);
  expectOpen(rig, d->mode(), true);
  EXPECT_TRUE(rig.overlay->rows.size() == 3 && rig.overlay->rows[0].item.text == QStringLiteral("third"));
}

// Under Xwayland the pointer leaving for a native window goes unreported:
// while open, the list's display is a region of the program's own, and the
// pointer entering it anywhere off the list collapses it. The band keeps to
// the top edge's rows there, leaving the bar beneath it its clicks.
TEST(Hover, WhereLeavingGoesUnreportedTheDisplayCatchesThePointer) {
  Rig rig;
  rig.bands.pointerLimits = {true, 2};
  auto d = rig.launch(QStringLiteral("short"));
  const Rect display{0, 0, 1920, 1080};
  ASSERT_EQ(rig.bands.bands.size(), 1u);
  EXPECT_EQ(rig.bands.bands[0], (Rect{835, 1078, 216, 2}));
  rig.pointAtNotch();
  ASSERT_EQ(d->mode(), Mode::expanded);
  EXPECT_EQ(rig.bands.bands, (std::vector<Rect>{{835, 1078, 216, 2}, display}));
  EXPECT_EQ(rig.overlay->passThrough, std::vector<Rect>{rig.bands.bands[0]});  // the panel keeps its input
  rig.band(Kind::entered, {960, 1030});  // under the list: it stays
  EXPECT_EQ(d->mode(), Mode::expanded);
  rig.band(Kind::entered, {300, 700});
  EXPECT_EQ(d->mode(), Mode::normal);
  EXPECT_EQ(rig.bands.bands.size(), 1u);
}

// The keyboard's way in: `tuckshelf --open` reaches the running copy as
// the instance's open request.
TEST(Keyboard, OpenMovesChoosesAndRemovesWhilePointerGoesAnywhere) {
  Rig rig;
  auto d = rig.launch(QStringLiteral("a"));
  rig.copied(QStringLiteral("b")), rig.copied(QStringLiteral("c"));
  rig.instance.open();
  fakes::FakeOverlay& o = *rig.overlay;
  expectOpen(rig, d->mode(), true);
  EXPECT_TRUE(o.takesKeyboard && o.highlighted == 0u && o.rows.size() == 3);
  rig.pointAtNotch(), rig.pointAway(), rig.band(Kind::entered, {300, 700});  // the pointer goes and comes
  EXPECT_TRUE(d->mode() == Mode::expanded && o.rowBuilds == 1);
  for (ListKey key : {ListKey::down, ListKey::down, ListKey::down}) o.press(key);
  EXPECT_EQ(o.highlighted, 2u);  // stops at the oldest
  o.press(ListKey::up), o.press(ListKey::remove);
  EXPECT_TRUE(texts(d->history()) == (QStringList{"c", "a"}) && o.highlighted == 1u && o.takesKeyboard);
  o.press(ListKey::remove);
  EXPECT_EQ(o.highlighted, 0u);  // the row above takes over
  o.press(ListKey::choose);
  EXPECT_TRUE(rig.clipboard.txt == QStringLiteral("c") && d->unpasted() && !o.takesKeyboard && !o.highlighted);
  expectResting(rig, d->mode(), true);
  for (bool escape : {true, false}) {  // Escape or a click elsewhere, or the shortcut again
    rig.instance.open();
    ASSERT_TRUE(o.takesKeyboard);
    escape ? o.press(ListKey::close) : rig.instance.open();
    EXPECT_TRUE(!o.takesKeyboard && d->mode() == Mode::normal);
  }
  o.press(ListKey::choose);  // closed: keys no longer act
  EXPECT_EQ(d->history().size(), 1u);
}

TEST(Keyboard, OpensWhereThePointerIsAndAPointerOpenTakesNoKeyboard) {
  Rig rig;
  rig.displays.list.push_back(ScreenInfo{Rect{1920, 0, 1920, 1080}, 0, 24});
  auto d = rig.launch();
  rig.displays.pointer = {2500, 500}, rig.instance.open();  // the empty history's message
  EXPECT_TRUE(d->mode() == Mode::expanded && !rig.overlay->labelHidden && rig.overlay->takesKeyboard);
  EXPECT_EQ(rig.overlay->currentFrame.midX(), 2880);
  rig.displays.pointer = {100, 100};
  for (ListKey key : {ListKey::down, ListKey::choose, ListKey::remove}) rig.overlay->press(key);
  EXPECT_TRUE(d->mode() == Mode::expanded && rig.overlay->currentFrame.midX() == 2880);
  rig.overlay->press(ListKey::close);
  rig.copied(QStringLiteral("x")), rig.pointAtNotch();
  EXPECT_TRUE(d->mode() == Mode::expanded && !rig.overlay->takesKeyboard && !rig.overlay->highlighted);
  rig.instance.open();  // the keys take over the list the pointer opened
  EXPECT_TRUE(rig.overlay->takesKeyboard && rig.overlay->highlighted == 0u && rig.overlay->rowBuilds == 1);
  int elsewhere = 0;
  d->setOpenElsewhereHandler([&] { ++elsewhere; }), d->setDrawnElsewhere(true);
  rig.instance.open();
  EXPECT_TRUE(elsewhere == 1 && !d->keyboardOpen());
}

}  // namespace
}  // namespace tuckshelf
