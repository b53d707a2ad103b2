#include <gtest/gtest.h>

#include "event_loop_wait.h"

#include <chrono>
#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <xkbcommon/xkbcommon.h>

#include "platform/x11/x11_input_monitors.h"
#include "platform/x11/x11_key_tracker.h"

namespace tuckshelf {
namespace {

using namespace std::chrono_literals;

// Pumps the event loop until done() holds or ten seconds pass.
// Runs a tool on the test display to completion; returns its output.
QString run(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << program.toStdString() << " did not finish";
  } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
  }
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

struct Typed {
  bool ctrl;
  QString characters;
  bool operator==(const Typed&) const = default;
};
void PrintTo(const Typed& t, std::ostream* os) { *os << (t.ctrl ? "cmd+" : "") << t.characters.toStdString(); }

class X11InputMonitorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    token_ = monitors_.addGlobalKeyDownMonitor([this](const KeyDown& down) { downs_.push_back(down); });
    ASSERT_NE(token_, nullptr);
  }

  // Presses the keys with xdotool, then "0" as an end mark, and returns the
  // key-downs with characters before the mark.
  std::vector<Typed> type(QStringList keys) {
    downs_.clear();
    run("xdotool", QStringList{"key"} + keys + QStringList{"0"});
    std::vector<Typed> typed;
    const bool ended = pumpUntil([&] {
      typed.clear();
      for (const KeyDown& down : downs_) {
        if (!down.shiftedText) continue;
        if (*down.shiftedText == "0") return true;
        typed.push_back({down.ctrl, *down.shiftedText});
      }
      return false;
    });
    EXPECT_TRUE(ended) << "the end mark never came";
    return typed;
  }

  X11InputMonitors monitors_;
  std::vector<KeyDown> downs_;
  MonitorToken token_;
};

TEST_F(X11InputMonitorsTest, OnlyControlMakesCommandAndOnlyShiftChangesCharacters) {
  EXPECT_EQ(type({"ctrl+v"}), (std::vector<Typed>{{true, "v"}}));
  EXPECT_EQ(type({"Control_R+v"}), (std::vector<Typed>{{true, "v"}}));
  EXPECT_EQ(type({"ctrl+shift+v"}), (std::vector<Typed>{{true, "V"}}));
  EXPECT_EQ(type({"v", "shift+v", "Shift_R+v", "alt+v", "super+v", "ctrl+v", "v"}),
            (std::vector<Typed>{{false, "v"}, {false, "V"}, {false, "V"}, {false, "v"}, {false, "v"},
                                {true, "v"}, {false, "v"}}));
}

TEST_F(X11InputMonitorsTest, FastBurstKeepsControlOnEveryKey) {
  QStringList burst;
  for (int i = 0; i < 10; ++i) burst << "ctrl+v";
  EXPECT_EQ(type(QStringList{"--delay", "0"} + burst), std::vector<Typed>(10, Typed{true, "v"}));
}

TEST_F(X11InputMonitorsTest, FollowsKeymapChanges) {
  const QString saved = run("xmodmap", {"-pke"});
  const auto line = [&](int keycode) {
    const QRegularExpression re(QStringLiteral("^keycode\\s+%1 =.*$").arg(keycode),
                                QRegularExpression::MultilineOption);
    return re.match(saved).captured(0);
  };
  // Swap z and v: xdotool then presses the old z key for v.
  const QString z = line(52), v = line(55);
  ASSERT_TRUE(z.contains(" z ") && v.contains(" v ")) << "not the US keymap";
  run("xmodmap", {"-e", "keycode 52 = v V", "-e", "keycode 55 = z Z"});
  const auto typed = type({"v", "ctrl+z"});
  run("xmodmap", {"-e", z, "-e", v});
  EXPECT_EQ(typed, (std::vector<Typed>{{false, "v"}, {true, "z"}}));
}

TEST_F(X11InputMonitorsTest, ReleasedTokensStopDeliveryAndLocalMonitorsStaySilent) {
  int released = 0, local = 0;
  MonitorToken token = monitors_.addGlobalKeyDownMonitor([&](const KeyDown&) { ++released; });
  token.reset();
  // The program's own keys come through the global stream.
  MonitorToken localToken = monitors_.addLocalKeyDownMonitor([&](const KeyDown&) { ++local; });
  EXPECT_NE(localToken, nullptr);
  // Releases itself from inside its first call.
  int once = 0;
  MonitorToken self;
  self = monitors_.addGlobalKeyDownMonitor([&](const KeyDown&) {
    ++once;
    self.reset();
  });
  ASSERT_EQ(type({"a", "b"}).size(), 2u);
  EXPECT_EQ(released, 0);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(local, 0);
}

TEST_F(X11InputMonitorsTest, HandlerMayDestroyTheMonitors) {
  auto monitors = std::make_unique<X11InputMonitors>();
  MonitorToken token = monitors->addGlobalKeyDownMonitor([&](const KeyDown&) { monitors.reset(); });
  ASSERT_NE(token, nullptr);
  ASSERT_EQ(type({"a", "b"}).size(), 2u);
  EXPECT_TRUE(pumpUntil([&] { return monitors == nullptr; }));
  token.reset();
}

TEST(X11MouseMovedMonitor, RelativeMotionCallsHandlerUntilReleased) {
  X11InputMonitors monitors;
  int kept = 0, dropped = 0;
  MonitorToken keep = monitors.addGlobalMouseMovedMonitor([&] { ++kept; });
  MonitorToken drop = monitors.addGlobalMouseMovedMonitor([&] { ++dropped; });
  ASSERT_NE(keep, nullptr);
  run("xdotool", {"mousemove", "500", "500"});  // a warp: no raw motion
  run("xdotool", {"mousemove_relative", "5", "5"});
  EXPECT_TRUE(pumpUntil([&] { return kept > 0 && dropped > 0; }));

  drop.reset();
  const int before = dropped;
  kept = 0;
  run("xdotool", {"mousemove_relative", "--", "-5", "-5"});
  EXPECT_TRUE(pumpUntil([&] { return kept > 0; }));
  EXPECT_EQ(dropped, before);
}

TEST(X11InputMonitorsDisplay, UnopenableDisplayInstallsNoGlobalMonitor) {
  X11InputMonitors monitors("no display here");
  EXPECT_EQ(monitors.addGlobalKeyDownMonitor([](const KeyDown&) {}), nullptr);
  EXPECT_EQ(monitors.addGlobalMouseMovedMonitor([] {}), nullptr);
}

// The tracker alone, on keymaps compiled from names: no server needed.
class X11KeyTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_NE(context_, nullptr);
    const xkb_rule_names names{"evdev", "pc105", "us,ru", "", ""};
    keymap_ = xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(keymap_, nullptr);
    tracker_.setKeymap(keymap_);
  }
  void TearDown() override {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
  }
  xkb_keycode_t key(const char* name) const { return xkb_keymap_key_by_name(keymap_, name); }
  Typed v(bool repeat = false) {
    const KeyDown down = tracker_.press(key("AB04"), repeat);
    tracker_.release(key("AB04"));
    return {down.ctrl, down.shiftedText.value_or("(none)")};
  }

  xkb_context* context_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  X11KeyTracker tracker_;
};

TEST_F(X11KeyTrackerTest, ControlCountsArePerKeyAndNeverNegative) {
  const xkb_keycode_t left = key("LCTL"), right = key("RCTL");
  tracker_.release(left);  // pressed before we listened
  tracker_.release(left);
  EXPECT_EQ(v(), (Typed{false, "v"}));

  tracker_.press(left, false);
  tracker_.press(right, false);
  tracker_.release(right);
  EXPECT_EQ(v(), (Typed{true, "v"}));
  tracker_.release(left);
  EXPECT_EQ(v(), (Typed{false, "v"}));

  // The same key held on two keyboards, repeating meanwhile.
  tracker_.press(left, false);
  tracker_.press(left, false);
  tracker_.press(left, true);
  tracker_.release(left);
  EXPECT_EQ(v(true), (Typed{true, "v"}));
  tracker_.release(left);
  EXPECT_EQ(v(), (Typed{false, "v"}));

  // A repeat is proof of a press we missed, but never a second press.
  tracker_.press(left, true);
  tracker_.press(left, true);
  EXPECT_EQ(v(), (Typed{true, "v"}));
  tracker_.release(left);
  EXPECT_EQ(v(), (Typed{false, "v"}));
}

TEST_F(X11KeyTrackerTest, CharactersFollowShiftLevelLayoutAndKeymap) {
  tracker_.press(key("LFSH"), false);
  EXPECT_EQ(v(), (Typed{false, "V"}));
  const KeyDown space = tracker_.press(key("SPCE"), false);  // one level only
  EXPECT_EQ(space.shiftedText, " ");
  tracker_.press(key("LALT"), false);
  EXPECT_EQ(v(), (Typed{false, "V"}));
  tracker_.setLayout(1);
  EXPECT_EQ(v(), (Typed{false, QString::fromUtf8("М")}));
  tracker_.release(key("LFSH"));
  EXPECT_EQ(v(), (Typed{false, QString::fromUtf8("м")}));
  tracker_.setLayout(2);  // wraps rather than failing
  EXPECT_EQ(v().characters, "v");
  EXPECT_FALSE(tracker_.press(key("FK01"), false).shiftedText.has_value());
  EXPECT_FALSE(tracker_.press(9999, false).shiftedText.has_value());

  // Held keys survive a keymap change; without a keymap nothing is known.
  tracker_.press(key("LCTL"), false);
  tracker_.setKeymap(keymap_);
  EXPECT_EQ(v(), (Typed{true, "v"}));
  tracker_.setKeymap(nullptr);
  const KeyDown down = tracker_.press(key("AB04"), false);
  EXPECT_FALSE(down.ctrl);
  EXPECT_FALSE(down.shiftedText.has_value());
}

}  // namespace
}  // namespace tuckshelf
