#include "platform/x11/x11_clipboard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include "x11_clipboard_test_client.h"
#include "x11_clipboard_test_owner.h"
#include "x11_clipboard_test_support.h"

namespace tuckshelf {
namespace {

using namespace pasteboard_test;
using namespace std::chrono_literals;

// The longest the event loop may stand still while an owner never answers.
// Sanitizers slow everything several-fold, so they get more room.
#if defined(__SANITIZE_ADDRESS__)
constexpr auto kLongestStall = 250ms;
#else
constexpr auto kLongestStall = 100ms;
#endif

class X11PasteboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board_ = std::make_unique<X11Clipboard>();
    board_->waitForInitialContents(5000);
    // Owning CLIPBOARD makes late notices about earlier tests' owners stale.
    board_->clear();
  }

  // Waits for the next generation after `seen`.
  bool nextGeneration(std::int64_t seen) {
    return pumpUntil([&] { return board_->generation() != seen; });
  }

  // Copies `data` with xclip and waits until the board has settled it.
  std::unique_ptr<XclipOwner> copyWithXclip(const QByteArray& data, const QByteArray& target = {}) {
    const std::int64_t seen = board_->generation();
    auto xclip = XclipOwner::start(data, target);
    EXPECT_TRUE(xclip) << "xclip did not start";
    EXPECT_TRUE(nextGeneration(seen));
    return xclip;
  }

  std::unique_ptr<X11Clipboard> board_;
};

// ---- Reading what other programs copied ----

class X11PasteboardTextTest : public X11PasteboardTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(X11PasteboardTextTest, ComesBackExactly) {
  const QString text = QString::fromUtf8(GetParam());
  auto xclip = copyWithXclip(text.toUtf8());
  EXPECT_EQ(board_->text(), text);
  EXPECT_EQ(board_->image(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Texts, X11PasteboardTextTest,
                         ::testing::Values("  \n surrounded by white space \t\n\n",
                                           " \n\t \n",  // white space only: trimming is not ours
                                           "ünïcödé ✓ — 漢字 🎉"));

TEST_F(X11PasteboardTest, InvalidUtf8IsReplacedNotFatal) {
  auto xclip = copyWithXclip("ok \xff\xfe\xc3 end");
  ASSERT_TRUE(board_->text());
  EXPECT_TRUE(board_->text()->startsWith("ok "));
  EXPECT_TRUE(board_->text()->endsWith(" end"));
  EXPECT_TRUE(board_->text()->contains(QChar::ReplacementCharacter));
}

TEST_F(X11PasteboardTest, LargeTextArrivesInChunks) {
  // Over xclip's 1 MiB limit for one property, so it sends INCR.
  QByteArray text;
  for (int line = 0; text.size() < 2'000'000; ++line)
    text += "line " + QByteArray::number(line) + ": the quick brown fox\n";
  auto xclip = copyWithXclip(text);
  ASSERT_TRUE(board_->text());
  EXPECT_EQ(board_->text()->toUtf8(), text);
}

TEST_F(X11PasteboardTest, ImageComesBackAsClipImage) {
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  auto xclip = copyWithXclip(encoded(picture), "image/png");
  EXPECT_FALSE(board_->text());
  const auto image = board_->image();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), QSize(64, 48));
  EXPECT_FALSE(image->thumbnail().isNull());
  ASSERT_TRUE(image->digest());
  EXPECT_GT(image->digest()->length, 0);
  EXPECT_EQ(image->mimeType(), "image/png");
}

TEST_F(X11PasteboardTest, ImageAboveQtsDefaultAllocationLimitIsDecoded) {
  // 134 MB of pixels, over QImageReader's 128 MB default, under the pixel cap.
  QImage picture(6000, 5600, QImage::Format_RGB32);
  picture.fill(Qt::white);
  const QByteArray png = encoded(picture);
  picture = {};
  auto xclip = copyWithXclip(png, "image/png");
  ASSERT_NE(board_->image(), nullptr);
  EXPECT_EQ(board_->image()->size(), QSize(6000, 5600));
}

TEST_F(X11PasteboardTest, HugeImageIsRefusedAsNothing) {
  // Compresses to a few kilobytes but would take 1.6 GB decoded.
  QImage picture(20000, 20000, QImage::Format_Mono);
  picture.fill(1);
  const QByteArray png = encoded(picture);
  picture = {};
  auto xclip = copyWithXclip(png, "image/png");
  EXPECT_EQ(board_->image(), nullptr);
  EXPECT_FALSE(board_->text());
}

TEST(X11PasteboardLimits, ImageOverThePixelLimitIsRefusedFromItsHeader) {
  // Small enough to decode anywhere, so only the header check can refuse it.
  X11SelectionLimits limits;
  limits.maxImagePixels = 40 * 40;
  X11Clipboard board(limits);
  board.waitForInitialContents(5000);
  for (const auto& [side, kept] : {std::pair{40, true}, std::pair{41, false}}) {
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::red);
    TestClipboardOwner owner({{"image/png", encoded(picture)}});
    board.clear();  // the previous owner's exit is then no change
    const std::int64_t seen = board.generation();
    owner.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return board.generation() != seen; }));
    EXPECT_EQ(board.image() != nullptr, kept) << side << "x" << side;
  }
}

TEST_F(X11PasteboardTest, ContentsAtStartBelongToTheStartingGeneration) {
  auto xclip = copyWithXclip("there before launch");
  X11Clipboard launched;
  const std::int64_t atConstruction = launched.generation();
  EXPECT_TRUE(launched.waitForInitialContents(5000));
  EXPECT_EQ(launched.text(), "there before launch");
  EXPECT_EQ(launched.generation(), atConstruction);
}

TEST(X11PasteboardLaunch, ContentsArrivingAfterTheWaitGaveUpAreANewGeneration) {
  TestClipboardOwner slow({{"UTF8_STRING", "late"}});
  slow.holdRequestsFor("TARGETS");
  slow.takeClipboard();
  X11SelectionLimits patient;
  patient.stepTimeout = 30s;  // the hold must not run into a deadline
  X11Clipboard launched(patient);
  const std::int64_t atConstruction = launched.generation();
  EXPECT_FALSE(launched.waitForInitialContents(100));
  EXPECT_FALSE(launched.text());
  slow.answerHeldRequests();
  ASSERT_TRUE(pumpUntil([&] { return launched.text() == "late"; }));
  EXPECT_NE(launched.generation(), atConstruction);
}

// ---- Choosing among targets; reading each once ----

TEST_F(X11PasteboardTest, PrefersUtf8AndReadsEachChangeOnce) {
  TestClipboardOwner owner({{"STRING", "latin"}, {"UTF8_STRING", "utf-8 ✓"}, {"TEXT", "text"}});
  const std::int64_t seen = board_->generation();
  owner.takeClipboard();
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_EQ(board_->text(), "utf-8 ✓");
  // Later calls are served from what was read.
  for (int i = 0; i < 3; ++i) board_->text(), board_->image(), board_->generation();
  pumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(owner.requestsFor("TARGETS"), 1);
  EXPECT_EQ(owner.requestsFor("UTF8_STRING"), 1);
  EXPECT_EQ(owner.requestsFor("STRING") + owner.requestsFor("TEXT"), 0);
}

TEST_F(X11PasteboardTest, StringTargetIsLatin1) {
  TestClipboardOwner owner({{"STRING", "caf\xe9"}});
  const std::int64_t seen = board_->generation();
  owner.takeClipboard();
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_EQ(board_->text(), QString::fromUtf8("café"));
}

class X11PasteboardTextAndImageTest
    : public X11PasteboardTest,
      public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(X11PasteboardTextAndImageTest, ImageIsReadOnlyWithoutUsableText) {
  const auto [text, wantsImage] = GetParam();
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  TestClipboardOwner owner({{"UTF8_STRING", text}, {"image/png", encoded(picture)}});
  const std::int64_t seen = board_->generation();
  owner.takeClipboard();
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_EQ(board_->text(), text);
  EXPECT_EQ(board_->image() != nullptr, wantsImage);
  EXPECT_EQ(owner.requestsFor("image/png"), wantsImage ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, X11PasteboardTextAndImageTest,
                         ::testing::Values(std::pair{"words", false}, std::pair{" \n ", true}));

struct HintCase {
  const char* hint;
  bool answered;
  bool readable;
  friend void PrintTo(const HintCase& c, std::ostream* os) {
    *os << "hint '" << c.hint << "'" << (c.answered ? "" : " never answered");
  }
};

class X11PasteboardSecretTest : public X11PasteboardTest,
                                public ::testing::WithParamInterface<HintCase> {};

TEST_P(X11PasteboardSecretTest, TextIsKeptOnlyWhenMarkedPublic) {
  const HintCase c = GetParam();
  TestClipboardOwner owner({{"UTF8_STRING", "hunter2"}, {"x-kde-passwordManagerHint", c.hint}});
  if (!c.answered) owner.holdRequestsFor("x-kde-passwordManagerHint");
  const std::int64_t seen = board_->generation();
  owner.takeClipboard();
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_EQ(board_->text(), c.readable ? std::optional<QString>("hunter2") : std::nullopt);
  if (!c.readable) {
    EXPECT_EQ(owner.requestsFor("UTF8_STRING"), 0);  // never even fetched
  }
}

INSTANTIATE_TEST_SUITE_P(Hints, X11PasteboardSecretTest,
                         ::testing::Values(HintCase{"secret", true, false},
                                           HintCase{"public", true, true},
                                           HintCase{"public\n", true, false},
                                           HintCase{"public", false, false}));

TEST_F(X11PasteboardTest, OwnerQuittingEmptiesTheClipboard) {
  auto xclip = copyWithXclip("short-lived");
  ASSERT_EQ(board_->text(), "short-lived");
  const std::int64_t seen = board_->generation();
  xclip.reset();
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_FALSE(board_->text());
  EXPECT_EQ(board_->image(), nullptr);
}

// ---- Owners that do not answer ----

TEST_F(X11PasteboardTest, StoppedOwnerSettlesAsNothingWithoutStallingTheLoop) {
  TestXClient probe;
  const xcb_window_t before = probe.clipboardOwner();
  const std::int64_t seen = board_->generation();
  auto xclip = XclipOwner::start("never delivered");
  ASSERT_TRUE(xclip);
  // Not through the event loop: the board must not read it before the stop.
  QElapsedTimer waited;
  waited.start();
  while (probe.clipboardOwner() == before && waited.elapsed() < 5000) usleep(2000);
  ASSERT_NE(probe.clipboardOwner(), before) << "xclip never took CLIPBOARD";
  xclip->pause();

  QElapsedTimer clock;
  qint64 lastTick = 0;
  qint64 longestGap = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, clock.elapsed() - lastTick);
    lastTick = clock.elapsed();
  });
  clock.start();
  ticker.start(10);
  pumpUntil([&] { return clock.elapsed() >= 2500; });

  EXPECT_NE(board_->generation(), seen) << "the change never settled";
  EXPECT_FALSE(board_->text());
  EXPECT_EQ(board_->image(), nullptr);
  EXPECT_LT(longestGap, kLongestStall.count());
  xclip->resume();
}

TEST_F(X11PasteboardTest, LatestChangeWinsOverOneStillBeingRead) {
  TestClipboardOwner silent({{"UTF8_STRING", "stale"}});
  silent.holdRequestsFor("TARGETS");
  const std::int64_t seen = board_->generation();
  silent.takeClipboard();
  ASSERT_TRUE(pumpUntil([&] { return silent.requestsFor("TARGETS") == 1; }));
  auto xclip = XclipOwner::start("fresh");
  ASSERT_TRUE(nextGeneration(seen));
  EXPECT_EQ(board_->text(), "fresh");
  // The abandoned read must not settle later, when its deadline passes.
  const std::int64_t fresh = board_->generation();
  pumpUntil([] { return false; }, 1500ms);
  EXPECT_EQ(board_->generation(), fresh);
}

// ---- Writing ----

TEST_F(X11PasteboardTest, WrittenTextIsServedAndCountedOnce) {
  const std::int64_t before = board_->generation();
  board_->setText("mine ✓\n");
  const std::int64_t written = board_->generation();
  EXPECT_NE(written, before);
  EXPECT_EQ(board_->text(), "mine ✓\n");
  EXPECT_EQ(readClipboardWithXclip(), QString("mine ✓\n").toUtf8());
  EXPECT_EQ(readClipboardWithXclip("STRING"), QByteArray("mine ?\n"));
  // xclip's round trips passed through the loop after our ownership notice.
  EXPECT_EQ(board_->generation(), written);
}

TEST_F(X11PasteboardTest, NoticeOfAnEarlierOwnerReadAfterOurWriteIsStale) {
  TestClipboardOwner earlier({{"UTF8_STRING", "earlier"}});
  earlier.takeClipboard();  // the board hears of it only after writing
  board_->setText("mine");
  const std::int64_t written = board_->generation();
  EXPECT_EQ(readClipboardWithXclip(), "mine");
  EXPECT_EQ(board_->generation(), written);
  EXPECT_EQ(board_->text(), "mine");
  EXPECT_EQ(earlier.requestsFor("TARGETS"), 0);
}

TEST_F(X11PasteboardTest, LargeWrittenTextIsServedInChunks) {
  QString text;
  for (int line = 0; text.size() < 2'000'000; ++line)
    text += QString("ligne %1 : où ça ?\n").arg(line);
  board_->setText(text);
  EXPECT_EQ(readClipboardWithXclip(), text.toUtf8());
}

TEST_F(X11PasteboardTest, WrittenPngIsServedAsItself) {
  QImage picture(40, 30, QImage::Format_ARGB32);
  picture.fill(Qt::magenta);
  const QByteArray png = encoded(picture);
  board_->setImage(ClipImage::fromImage(picture, png, "image/png"));
  EXPECT_EQ(readClipboardWithXclip("image/png"), png);
  ASSERT_NE(board_->image(), nullptr);
  EXPECT_EQ(board_->image()->encoded(), png);
  EXPECT_FALSE(board_->text());
}

TEST_F(X11PasteboardTest, WrittenBmpIsAlsoServedAsPng) {
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::yellow);
  const QByteArray bmp = encoded(picture, "BMP");
  board_->setImage(ClipImage::fromImage(picture, bmp, "image/bmp"));
  EXPECT_EQ(readClipboardWithXclip("image/bmp"), bmp);
  const auto png = readClipboardWithXclip("image/png");
  ASSERT_TRUE(png);
  const QImage decoded = QImage::fromData(*png, "PNG");
  EXPECT_EQ(decoded.size(), QSize(40, 30));
  EXPECT_EQ(decoded.pixelColor(3, 3), QColor(Qt::yellow));
}

TEST_F(X11PasteboardTest, ClearedClipboardOffersNoData) {
  board_->setText("gone soon");
  const std::int64_t written = board_->generation();
  board_->clear();
  EXPECT_NE(board_->generation(), written);
  EXPECT_FALSE(board_->text());
  EXPECT_FALSE(readClipboardWithXclip());
  const auto targets = readClipboardWithXclip("TARGETS");
  ASSERT_TRUE(targets);
  EXPECT_TRUE(targets->contains("TIMESTAMP"));
  EXPECT_FALSE(targets->contains("UTF8_STRING"));
}

TEST_F(X11PasteboardTest, AnswersMultipleAndRefusesUnknownTargets) {
  board_->setText("several");
  TestXClient requestor;
  EXPECT_FALSE(requestor.convert("application/x-unknown"));
  const auto replies = requestor.convertMultiple({"UTF8_STRING", "image/png", "STRING"});
  ASSERT_EQ(replies.size(), 3u);
  ASSERT_TRUE(replies[0]);
  EXPECT_EQ(replies[0]->type, "UTF8_STRING");
  EXPECT_EQ(replies[0]->data, "several");
  EXPECT_FALSE(replies[1]);
  ASSERT_TRUE(replies[2]);
  EXPECT_EQ(replies[2]->type, "STRING");
}

TEST_F(X11PasteboardTest, AnotherProgramsCopyReplacesOurs) {
  board_->setText("ours");
  const std::int64_t written = board_->generation();
  auto xclip = XclipOwner::start("theirs");
  ASSERT_TRUE(xclip);
  ASSERT_TRUE(nextGeneration(written));
  EXPECT_EQ(board_->text(), "theirs");
  // We no longer answer for CLIPBOARD: a request reaches xclip.
  EXPECT_EQ(readClipboardWithXclip(), "theirs");
}

}  // namespace
}  // namespace tuckshelf
