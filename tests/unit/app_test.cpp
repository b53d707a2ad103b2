// The launch and the event sources that drive the program afterwards.

#include <gtest/gtest.h>

#include <QImage>

#include "fakes.h"

namespace tuckshelf {
namespace {

using fakes::Rig;
using Mode = AppDelegate::Mode;

const Rect kResting{835, 1048, 250, 32};  // gap 24

QStringList texts(const History& history) {
  QStringList out;
  for (const ClipItem& e : history) out.append(e.text.value_or(QStringLiteral("<img>")));
  return out;
}

TEST(Launch, SweepKillsOnlyOtherCopies) {
  const std::string own = "/usr/bin/tuckshelf";
  for (bool known : {true, false}) {
    Rig rig;
    if (!known) rig.processes.me.identifier = std::nullopt;
    rig.processes.running = {{1000, own}, {999, own}, {1001, std::string("/usr/bin/other")},
                             {1002, std::nullopt}, {1003, own}};
    rig.launch();
    const std::vector<std::int64_t> others{999, 1003};
    EXPECT_EQ(rig.processes.killed, known ? others : std::vector<std::int64_t>());
  }
}

TEST(Launch, LoadsCapturesAndShowsTheRestingOverlay) {
  Rig rig;
  rig.defaults.values[kHistoryKey] = {"a", "b", "c"};
  rig.clipboard.copyText(QStringLiteral("  b\n"));
  auto d = rig.make();
  EXPECT_FALSE(d->panel());
  EXPECT_EQ(d->topGapValue(), 32);

  d->launch();
  EXPECT_EQ(texts(d->history()), (QStringList{"b", "a", "c"}));
  EXPECT_EQ(rig.defaults.stored(), (QStringList{"b", "a", "c"}));
  EXPECT_TRUE(d->unpasted());
  ASSERT_EQ(rig.overlaysBuilt, 1);
  EXPECT_EQ(rig.overlay->setup.frame, kResting);
  EXPECT_EQ(rig.overlay->setup.offsets, (TopOffsets{32, 8, 32}));
  // Built off screen; the first capture placed it once, with the dot.
  EXPECT_EQ(rig.overlay->frameSets, 1);
  EXPECT_TRUE(rig.overlay->visible);
  EXPECT_FALSE(rig.overlay->dotHidden);

  ASSERT_EQ(rig.timers.timers.size(), 1u);
  EXPECT_EQ(rig.timers.timers[0].seconds, 0.4);
  EXPECT_EQ(rig.monitors.globalKeys.size() + rig.monitors.localKeys.size() +
                rig.monitors.mouse.size() + rig.displays.observers.size(), 4u);

  // What was on the clipboard at start is not taken up a second time.
  const int writes = rig.defaults.writes;
  rig.timers.fire();
  EXPECT_EQ(rig.defaults.writes, writes);
}

TEST(Launch, FailedMonitorsDoNotStopIt) {
  Rig rig;
  rig.monitors.fail = true;
  rig.clipboard.copyText(QStringLiteral("x"));
  auto d = rig.launch();
  EXPECT_EQ(texts(d->history()), QStringList{"x"});
  EXPECT_TRUE(rig.overlay->visible);
  EXPECT_EQ(rig.displays.observers.size(), 1u);
  rig.pointAtNotch();
  rig.timers.fire();  // the tick alone still drives the hover
  EXPECT_EQ(d->mode(), Mode::expanded);
}

TEST(Launch, WithoutADisplayRunsOnAndBuildsTheOverlayLater) {
  Rig rig;
  rig.displays.list.clear();
  rig.displays.main = std::nullopt;
  rig.clipboard.copyText(QStringLiteral("x"));
  auto d = rig.launch();
  EXPECT_EQ(rig.overlaysBuilt, 0);
  EXPECT_TRUE(d->unpasted());

  rig.clipboard.copyText(QStringLiteral("y"));
  rig.timers.fire();
  rig.monitors.typeKey(true, QStringLiteral("v"));
  rig.monitors.moveMouse();
  rig.displays.notifyChanged();
  EXPECT_EQ(rig.overlaysBuilt, 0);
  EXPECT_EQ(texts(d->history()), (QStringList{"y", "x"}));
  EXPECT_FALSE(d->unpasted());

  rig.displays.list = {ScreenInfo{Rect{0, 0, 1920, 1080}, 32, 24}};
  rig.clipboard.copyText(QStringLiteral("z"));
  rig.timers.fire();
  rig.displays.notifyChanged();
  ASSERT_EQ(rig.overlaysBuilt, 1);
  EXPECT_EQ(rig.overlay->setup.frame, (Rect{835, 1040, 250, 40}));
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{835, 1040, 250, 40}));
  EXPECT_TRUE(rig.overlay->visible);
  EXPECT_FALSE(rig.overlay->dotHidden);
}

TEST(Events, HandlersDoNothingOnceTheDelegateIsGone) {
  Rig rig;
  rig.clipboard.copyText(QStringLiteral("a"));
  auto d = rig.launch();
  rig.pointAtNotch();
  rig.monitors.moveMouse();
  const auto select = rig.overlay->rows.at(0).onSelect;
  const auto remove = rig.overlay->rows.at(0).onDelete;
  const auto tick = rig.timers.timers.at(0).handler;
  d.reset();

  rig.clipboard.copyText(QStringLiteral("b"));
  const std::int64_t count = rig.clipboard.count;
  const int writes = rig.defaults.writes;
  select();
  remove();
  tick();
  rig.monitors.typeKey(true, QStringLiteral("v"));
  rig.monitors.typeKeyLocally(true, QStringLiteral("v"));
  rig.monitors.moveMouse();
  rig.displays.notifyChanged();
  EXPECT_EQ(rig.clipboard.count, count);
  EXPECT_EQ(rig.defaults.writes, writes);
  EXPECT_EQ(rig.overlaysBuilt, 1);
}

TEST(Events, ATickTakesUpOnlyTheLatestContents) {
  Rig rig;
  rig.defaults.values[kHistoryKey] = {"a"};
  auto d = rig.launch();  // with an empty clipboard
  EXPECT_FALSE(d->unpasted());
  EXPECT_TRUE(rig.overlay->dotHidden);
  EXPECT_EQ(rig.defaults.writes, 0);
  const int reads = rig.clipboard.reads;
  rig.timers.fire();
  EXPECT_EQ(rig.clipboard.reads, reads);  // unchanged: contents not read

  rig.clipboard.copyText(QStringLiteral("one"));
  rig.clipboard.copyText(QStringLiteral("two"));
  rig.clipboard.copyText(QStringLiteral("three"));
  rig.timers.fire();
  EXPECT_EQ(texts(d->history()), (QStringList{"three", "a"}));
  EXPECT_EQ(rig.defaults.writes, 1);

  QImage img(2, 2, QImage::Format_RGB32);
  img.fill(Qt::green);
  const auto picture = ClipImage::fromImage(img);
  rig.clipboard.copyBoth(QStringLiteral(" \n\t"), picture);
  rig.timers.fire();
  EXPECT_EQ(d->history().at(0).image, picture);
  EXPECT_EQ(rig.defaults.stored(), (QStringList{"three", "a"}));

  rig.clipboard.count = 3;  // a generation that goes down is a change too
  rig.clipboard.txt = QStringLiteral(" words\n");
  rig.timers.fire();
  EXPECT_EQ(texts(d->history()), (QStringList{"words", "<img>", "three", "a"}));
  EXPECT_FALSE(d->history()[0].image);

  rig.clipboard.copyText(QStringLiteral("\n"));
  rig.timers.fire();
  EXPECT_FALSE(d->unpasted());
  EXPECT_EQ(d->history().size(), 4u);
}

TEST(Events, OnlyControlWithVCountsAsAPaste) {
  struct Case { bool command; std::optional<QString> chars; bool clears; };
  for (const Case& c : {Case{true, "v", true}, Case{true, "V", true},  // Ctrl(+Shift)+V
                        Case{false, "v", false}, Case{false, "V", false},  // V, Shift+V, Alt+V
                        Case{true, std::nullopt, false}, Case{true, "", false},
                        Case{true, "vv", false}, Case{true, "c", false}}) {
    for (bool local : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.command << " " << c.chars.value_or("-").toStdString()
                                      << (local ? " local" : " global"));
      Rig rig;
      rig.clipboard.copyText(QStringLiteral("x"));
      auto d = rig.launch();
      if (local)
        rig.monitors.typeKeyLocally(c.command, c.chars);
      else
        rig.monitors.typeKey(c.command, c.chars);
      EXPECT_EQ(d->unpasted(), !c.clears);
      EXPECT_EQ(rig.overlay->dotHidden, c.clears);
    }
  }
}

TEST(Events, PasteKeyWhileOpenLeavesTheList) {
  Rig rig;
  rig.clipboard.copyText(QStringLiteral("x"));
  auto d = rig.launch();
  rig.pointAtNotch();
  rig.monitors.moveMouse();
  const int sets = rig.overlay->frameSets;
  rig.monitors.typeKey(true, QStringLiteral("v"));
  EXPECT_FALSE(d->unpasted());
  EXPECT_EQ(d->mode(), Mode::expanded);
  EXPECT_EQ(rig.overlay->frameSets, sets);
  EXPECT_EQ(rig.overlay->rowBuilds, 1);
  EXPECT_FALSE(rig.overlay->stackHidden);
}

TEST(Events, ScreenChangeRePlacesWhatIsShown) {
  Rig rig;
  rig.clipboard.copyText(QStringLiteral("x"));
  auto d = rig.launch();
  rig.displays.pointer = {100, 100};
  rig.displays.list[0].frame = Rect{0, 0, 2560, 1440};
  rig.displays.notifyChanged();
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{1155, 1408, 250, 32}));

  rig.displays.pointer = {1280, 1440};
  rig.monitors.moveMouse();
  rig.displays.list[0].topInset = 38;
  rig.displays.notifyChanged();
  EXPECT_EQ(d->mode(), Mode::expanded);
  EXPECT_EQ(rig.overlay->rowBuilds, 2);
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{1170, 1440 - 38 - 46, 220, 38 + 46}));
  EXPECT_TRUE(rig.overlay->lastAnimated);

  // The empty message collapses.
  rig.overlay->clickRemove(0);
  rig.monitors.moveMouse();
  ASSERT_FALSE(rig.overlay->labelHidden);
  rig.displays.notifyChanged();
  EXPECT_EQ(d->mode(), Mode::normal);
  EXPECT_TRUE(rig.overlay->labelHidden);
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{1155, 1394, 250, 46}));
}

}  // namespace
}  // namespace tuckshelf
