// What only the X11 clipboard has to get right: the selection protocol,
// owners that misbehave, races between changes. The contract suite holds
// it to what every clipboard does.

#include "platform/x11/x11_clipboard.h"

#include <gtest/gtest.h>


#include "event_loop_wait.h"
#include "printers.h"
#include "x11_test_clients.h"

namespace tuckshelf {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using x11test::TestOwner;

struct X11ClipboardTest : testing::Test {
  void SetUp() override { clip.waitForInitialContents(5000), clip.clear(); }  // earlier owners: no change
  // Whether the generation moves on while `change` happens.
  bool changes(const std::function<void()>& change) {
    const std::int64_t seen = clip.generation();
    return change(), pumpUntil([&] { return clip.generation() != seen; });
  }
  X11Clipboard clip;
};

// The text comes from the best target; every target is read once, and none
// of a secret's.
TEST_F(X11ClipboardTest, ReadsEachTargetOnceAndTheTextOnlyWhenMarkedPublic) {
  struct Case { std::vector<TestOwner::Target> targets; std::optional<QString> text; const char* read; };
  for (const Case& c : std::vector<Case>{
           {{{"STRING", "latin"}, {"UTF8_STRING", "\xE2\x9C\x93"}, {"TEXT", "t"}}, u"\u2713"_s, "UTF8_STRING"},
           {{{"UTF8_STRING", "ok"}, {"x-kde-passwordManagerHint", "public"}}, u"ok"_s, "UTF8_STRING"},
           {{{"UTF8_STRING", "hunter2"}, {"x-kde-passwordManagerHint", "public\n"}}, std::nullopt, ""},
           {{{"UTF8_STRING", "hunter2"}, {"x-kde-passwordManagerHint", "public"}}, std::nullopt, "hold hint"}}) {
    SCOPED_TRACE(c.targets.front().data.toStdString() + " " + c.read);
    clip.clear();  // the last owner's exit is then no change
    TestOwner owner(c.targets);
    if (QByteArray(c.read) == "hold hint") owner.hold("x-kde-passwordManagerHint");  // never answered
    ASSERT_TRUE(changes([&] { owner.takeClipboard(); }));
    x11test::xclipPaste("TIMESTAMP");  // a round trip through the owner
    EXPECT_TRUE(clip.text() == c.text && owner.requestsFor("TARGETS") == 1);
    for (const TestOwner::Target& t : c.targets)  // a secret is never even fetched
      EXPECT_EQ(owner.requestsFor(t.name), c.text || t.name.startsWith("x-kde") ? 1 : 0) << t.name.data();
  }
}

// An owner that never answers costs one step's deadline and never holds
// up the event loop meanwhile.
TEST_F(X11ClipboardTest, SilentOwnerSettlesAsNothingWithoutStallingTheLoop) {
  TestOwner silent({{"UTF8_STRING", "never delivered"}});
  silent.hold("TARGETS");
  const LoopTurnCounter loop;
  ASSERT_TRUE(changes([&] { silent.takeClipboard(); }));
  EXPECT_TRUE(loop.elapsedMs() >= 900 && !clip.text());  // the step's deadline, not at once
  EXPECT_TRUE(loop.keptTurning());
}

TEST_F(X11ClipboardTest, LatestChangeWinsOverOneStillBeingRead) {
  TestOwner silent({{"UTF8_STRING", "stale"}}), fresh({{"UTF8_STRING", "fresh"}});
  silent.hold("TARGETS");
  const std::int64_t seen = clip.generation();
  silent.takeClipboard();
  ASSERT_TRUE(pumpUntil([&] { return silent.requestsFor("TARGETS") == 1; }));
  ASSERT_TRUE(changes([&] { fresh.takeClipboard(); }));
  EXPECT_TRUE(clip.generation() == seen + 1 && clip.text() == "fresh");
  // The abandoned read must not settle later, neither answered nor at its deadline.
  silent.answerHeld();
  EXPECT_FALSE(pumpUntil([&] { return clip.generation() != seen + 1; }, 1500ms));
}

TEST_F(X11ClipboardTest, LargeWrittenTextIsServedInChunks) {
  QByteArray text;
  for (int line = 0; text.size() < 2'000'000; ++line) text += "line " + QByteArray::number(line) + ": o\xC3\xB9\n";
  clip.setText(QString::fromUtf8(text));
  EXPECT_EQ(x11test::xclipPaste(), text);
}

// GNOME's window manager reads each new owner's contents once, to keep them
// when the owner quits: its reads are no pastes; anyone else's are.
TEST_F(X11ClipboardTest, ReadsByTheWindowManagerAreNoPastes) {
  x11test::TestWindowManager manager;
  int pastes = 0;
  clip.setPasteHandler([&] { ++pastes; });
  clip.setText(QStringLiteral("mine"));
  EXPECT_EQ(manager.paste(), QByteArray("mine"));
  EXPECT_EQ(pastes, 0);
  EXPECT_EQ(x11test::xclipPaste(), QByteArray("mine"));
  EXPECT_EQ(pastes, 1);
}

}  // namespace
}  // namespace tuckshelf
