// Keys typed anywhere, from a real X server driven by xdotool, and the key
// tracker alone on compiled keymaps. Which keys clear the dot is the
// end-to-end tests' to show.

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <QProcess>
#include <QRegularExpression>

#include "event_loop_wait.h"
#include "platform/x11/x11_input_monitors.h"
#include "platform/x11/x11_key_tracker.h"
#include "printers.h"

namespace tuckshelf {
namespace {

// A key-down as "ctrl+shift+V" or "shift+insert"; empty for keys that type nothing.
QString described(const KeyDown& down) {
  if (!down.shiftedText && !down.insert) return {};
  const QString key = down.insert ? QStringLiteral("insert") : *down.shiftedText;
  return QString(down.ctrl ? "ctrl+" : "") + (down.shift ? "shift+" : "") + key;
}

// Presses the keys with xdotool, then "0" as an end mark; what `monitors` saw before it.
QStringList typed(X11InputMonitors& monitors, const QStringList& keys) {
  QStringList downs;
  const MonitorToken token = monitors.addGlobalKeyDownMonitor([&](const KeyDown& d) { downs.append(described(d)); });
  QProcess::execute("xdotool", QStringList{"key", "--delay", "0"} + keys + QStringList{"0"});
  EXPECT_TRUE(pumpUntil([&] { return downs.contains("0"); })) << "the end mark never came";
  return downs.mid(0, downs.indexOf("0")).filter(QRegularExpression(".+"));
}

// Run in a process of its own (a crash would take the later tests with it).
TEST(X11InputMonitors, AHandlerMayDestroyTheMonitors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto doomed = std::make_unique<X11InputMonitors>();
        const MonitorToken token = doomed->addGlobalKeyDownMonitor([&](const KeyDown&) { doomed.reset(); });
        X11InputMonitors watcher;
        const bool ended = typed(watcher, {"a", "b"}).size() == 2;
        std::exit(ended && !doomed ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// The tracker alone, on keymaps compiled from names: no server needed.
class X11KeyTrackerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(keymap, nullptr);
    tracker.setKeymap(keymap);
  }
  void TearDown() override { xkb_keymap_unref(keymap), xkb_context_unref(context); }
  xkb_keycode_t key(const char* name) const { return xkb_keymap_key_by_name(keymap, name); }
  QString v() {
    const QString down = described(tracker.press(key("AB04"), false));
    tracker.release(key("AB04"));
    return down;
  }

  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  const xkb_rule_names names{"evdev", "pc105", "us,ru", "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  X11KeyTracker tracker;
};

TEST_F(X11KeyTrackerTest, ControlIsCountedPerKeyAndNeverBelowZero) {
  const xkb_keycode_t left = key("LCTL"), right = key("RCTL");
  enum { release, press, repeat };
  // Presses, auto-repeats and releases, then what V types.
  for (auto [keys, typed] : std::vector<std::pair<std::vector<std::pair<xkb_keycode_t, int>>, QString>>{
           {{{left, release}, {left, release}}, "v"},  // pressed before we listened
           {{{left, press}, {right, press}, {right, release}}, "ctrl+v"},
           {{{left, release}}, "v"},
           {{{left, press}, {left, press}, {left, repeat}, {left, release}}, "ctrl+v"},  // two keyboards
           {{{left, release}}, "v"},
           {{{left, repeat}, {left, repeat}}, "ctrl+v"},  // a repeat proves one missed press
           {{{left, release}}, "v"}}) {
    for (auto [k, what] : keys) what == release ? tracker.release(k) : void(tracker.press(k, what == repeat));
    EXPECT_EQ(v(), typed);
  }
}

TEST_F(X11KeyTrackerTest, CharactersFollowShiftLayoutAndKeymap) {
  tracker.press(key("LFSH"), false), tracker.press(key("LALT"), false);
  const auto typed = [&](const char* name) { return described(tracker.press(key(name), false)); };
  EXPECT_EQ(QStringList({v(), typed("SPCE"), typed("INS")}), (QStringList{"shift+V", "shift+ ", "shift+insert"}));
  tracker.setLayout(1);
  EXPECT_EQ(v(), QString::fromUtf8("shift+М"));
  tracker.release(key("LFSH")), tracker.setLayout(2);  // wraps rather than failing
  EXPECT_EQ(v() + typed("FK01") + described(tracker.press(9999, false)), "v");
  tracker.press(key("LCTL"), false), tracker.setKeymap(keymap);  // held keys survive a keymap change
  EXPECT_EQ(v(), "ctrl+v");
  tracker.setKeymap(nullptr);  // without one nothing is known
  EXPECT_EQ(v(), "");
}

}  // namespace
}  // namespace tuckshelf
