// The same cases against every Clipboard: the fake the logic's tests run
// on, and each real one. A driver stands for one implementation and for
// "another program" on the same clipboard:
//
//   clipboard                the implementation, refusing contents over
//                            kMaxBytes a transfer or kMaxPixels a picture
//   copy(text, image, secret)  another program copies text, a picture or
//                            both, maybe marked secret by a password manager
//   ownerGoes(onPurpose)     that program quits, or empties the clipboard
//   waitFor(done)            lets the implementation's events through until
//                            done() holds; false if it never does
//   pastedText, pastedImage  what another program pastes now
//   probeTargets             another program asks what is on offer
//   copyFormats(text, extras, hung)  another program copies a text with
//                            more formats, never answering for `hung`
//   pastedAs(name)           what another program pastes as that format
//   kTellsEmptyingApart      whether the platform tells an owner emptying
//                            the clipboard from one quitting

#include <gtest/gtest.h>

#include <QImage>
#include <QStringDecoder>

#include "event_loop_wait.h"
#include "fakes.h"
#include "platform/wayland/wayland_clipboard.h"
#include "platform/x11/x11_clipboard.h"
#include "wayland_test_clients.h"
#include "x11_test_clients.h"

namespace tuckshelf {
namespace {

constexpr qsizetype kMaxBytes = 64 << 10;
constexpr qint64 kMaxPixels = 40 * 40;
constexpr qsizetype kMaxExtra = 16 << 10;
// A second for an owner that never answers: the test owners answer at once.
constexpr ClipboardLimits kLimits{.answerTimeout = std::chrono::seconds(1), .maxTransferBytes = kMaxBytes,
                                  .maxExtraBytes = kMaxExtra, .maxImagePixels = kMaxPixels};
using Formats = std::vector<ClipFormat>;

QImage picture(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::darkCyan);
  image.setPixelColor(0, 0, Qt::red);  // not the same pixels turned around
  return image;
}

QImage pixelsOf(const QByteArray& encoded) { return QImage::fromData(encoded).convertToFormat(QImage::Format_ARGB32); }
QImage pixelsOf(const std::shared_ptr<const ClipImage>& image) { return pixelsOf(image ? image->encoded() : ""); }

struct FakeClipboardDriver {
  static constexpr const char* kName = "Fake";
  static constexpr bool kTellsEmptyingApart = true;
  static bool available() { return true; }
  fakes::FakeClipboard clipboard;
  FakeClipboardDriver() { clipboard.maxBytes = kMaxBytes, clipboard.maxPixels = kMaxPixels, clipboard.maxExtraBytes = kMaxExtra; }
  void copyFormats(const QString& text, const Formats& extras, const QByteArray& hung) {
    clipboard.copyFormats(text, extras, hung);
  }
  std::optional<QByteArray> pastedAs(const QByteArray& name) { return clipboard.pasteAs(name); }
  void copy(std::optional<QString> text, const QImage& image, bool secret) {
    if (secret) return clipboard.copySecret(*text);
    clipboard.copyBoth(text, image.isNull() ? nullptr : ClipImage::fromImage(image));
  }
  void ownerGoes(bool onPurpose) { clipboard.ownerQuits(onPurpose); }
  bool waitFor(const std::function<bool()>& done) { return clipboard.report(), done(); }
  std::optional<QString> pastedText() { return clipboard.pasteElsewhere(), clipboard.txt; }
  QImage pastedImage() { return clipboard.pasteElsewhere(true), pixelsOf(clipboard.img); }
  void probeTargets() {}
};

// On the Xvfb of tests/support/with_xvfb.sh; the other program is a second
// X client of this process, or xclip for pasting.
struct X11ClipboardDriver {
  static constexpr const char* kName = "X11";
  static constexpr bool kTellsEmptyingApart = true;
  static bool available() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }
  X11Clipboard clipboard{kLimits};
  std::unique_ptr<x11test::TestOwner> other;

  X11ClipboardDriver() { clipboard.waitForInitialContents(5000), clipboard.clear(); }  // earlier owners: no change
  void copy(std::optional<QString> text, const QImage& image, bool secret) {
    std::vector<x11test::TestOwner::Target> targets;
    if (text) targets.push_back({"UTF8_STRING", text->toUtf8()});
    if (!image.isNull()) targets.push_back({"image/png", x11test::encoded(image)});
    if (secret) targets.push_back({"x-kde-passwordManagerHint", "secret"});
    auto next = std::make_unique<x11test::TestOwner>(targets);
    next->takeClipboard(), other = std::move(next);  // the one before goes only now: no change of its own
  }
  void copyFormats(const QString& text, const Formats& extras, const QByteArray& hung) {
    std::vector<x11test::TestOwner::Target> targets = {{"UTF8_STRING", text.toUtf8()}};
    for (const ClipFormat& f : extras) targets.push_back({f.name, f.data});
    auto next = std::make_unique<x11test::TestOwner>(targets);
    next->hold(hung), next->takeClipboard(), other = std::move(next);
  }
  std::optional<QByteArray> pastedAs(const QByteArray& name) { return x11test::xclipPaste(name); }
  void ownerGoes(bool onPurpose) { onPurpose ? other->emptyClipboard() : other.reset(); }
  bool waitFor(const std::function<bool()>& done) { return pumpUntil(done); }
  void probeTargets() { x11test::xclipPaste("TARGETS"); }
  std::optional<QString> pastedText() {  // as written, an opening U+FEFF included
    const auto bytes = x11test::xclipPaste();
    return bytes ? std::optional(QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(*bytes))
                 : std::nullopt;
  }
  QImage pastedImage() { return pixelsOf(x11test::xclipPaste("image/png").value_or("")); }
};

// On the headless sway of tests/support/with_sway.sh; the other program is
// a second Wayland client of this process, or wl-paste for pasting.
struct WaylandClipboardDriver {
  static constexpr const char* kName = "Wayland";
  // Wayland tells no one but the source's own program why it went.
  static constexpr bool kTellsEmptyingApart = false;
  static bool available() { return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }
  WaylandConnection connection;
  WaylandClipboard clipboard{connection, kLimits};
  std::unique_ptr<wltest::TestSource> other;

  WaylandClipboardDriver() { clipboard.waitForInitialContents(5000), clipboard.clear(); }
  void copy(std::optional<QString> text, const QImage& image, bool secret) {
    std::vector<wltest::TestSource::Target> targets;
    if (text) targets.push_back({"text/plain;charset=utf-8", text->toUtf8()});
    if (!image.isNull()) targets.push_back({"image/png", x11test::encoded(image)});
    if (secret) targets.push_back({"x-kde-passwordManagerHint", "secret"});
    auto next = std::make_unique<wltest::TestSource>(targets);
    next->takeClipboard(), other = std::move(next);  // the one before goes only now: no change of its own
  }
  void copyFormats(const QString& text, const Formats& extras, const QByteArray& hung) {
    std::vector<wltest::TestSource::Target> targets = {{"text/plain;charset=utf-8", text.toUtf8()}};
    for (const ClipFormat& f : extras) targets.push_back({f.name, f.data});
    auto next = std::make_unique<wltest::TestSource>(targets);
    next->hold(hung), next->takeClipboard(), other = std::move(next);
  }
  std::optional<QByteArray> pastedAs(const QByteArray& name) { return wltest::wlPaste(name); }
  void ownerGoes(bool onPurpose) { onPurpose ? other->emptyClipboard() : other.reset(); }
  bool waitFor(const std::function<bool()>& done) { return pumpUntil(done); }
  void probeTargets() { wltest::wlPasteTypes(); }
  std::optional<QString> pastedText() {  // as written, an opening U+FEFF included
    const auto bytes = wltest::wlPaste();
    return bytes ? std::optional(QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(*bytes))
                 : std::nullopt;
  }
  QImage pastedImage() { return pixelsOf(wltest::wlPaste("image/png").value_or("")); }
};

template <typename Driver>
class ClipboardContract : public testing::Test {
 protected:
  void SetUp() override {
    if (!Driver::available()) GTEST_SKIP() << "no display server for " << Driver::kName;
  }
  // Another program's copy, or the end of it, taken up.
  void copied(std::optional<QString> text, const QImage& image = {}, bool secret = false) {
    changes([&] { driver.copy(text, image, secret); });
  }
  void changes(const std::function<void()>& change) {
    const std::int64_t before = clip.generation();
    change();
    ASSERT_TRUE(driver.waitFor([&] { return clip.generation() != before; })) << "the change was never seen";
  }

  Driver driver;
  Clipboard& clip = driver.clipboard;
};

using ClipboardDrivers = testing::Types<FakeClipboardDriver, X11ClipboardDriver, WaylandClipboardDriver>;
struct DriverNames {
  template <typename Driver>
  static std::string GetName(int) { return Driver::kName; }
};
TYPED_TEST_SUITE(ClipboardContract, ClipboardDrivers, DriverNames);

TYPED_TEST(ClipboardContract, OwnWritesReadBackReplaceEverythingAndAreNoNewCopy) {
  Clipboard& clip = this->clip;
  int pastes = 0;
  clip.setPasteHandler([&] { ++pastes; });
  const QString text = QStringLiteral("\uFEFFmine \u2713\n");
  clip.setText(text);
  const std::int64_t written = clip.generation();
  this->driver.probeTargets();  // asking what is on offer is no paste
  EXPECT_TRUE(pastes == 0 && clip.text() == text);
  EXPECT_EQ(this->driver.pastedText(), text);  // a round trip: any notice of our own write is in
  EXPECT_TRUE(clip.generation() == written && pastes == 1);

  const QImage image = picture(30, 20);
  clip.setImage(ClipImage::fromImage(image));
  EXPECT_NE(clip.generation(), written);
  EXPECT_TRUE(pixelsOf(clip.image()) == image && this->driver.pastedImage() == image);
  EXPECT_TRUE(!clip.text() && !this->driver.pastedText());  // the text went with the new write
  clip.setText(QStringLiteral("same"));
  EXPECT_TRUE(!clip.image() && this->driver.pastedImage().isNull());
  const std::int64_t same = clip.generation();
  clip.setText(QStringLiteral("same"));  // every write is a new generation
  EXPECT_NE(clip.generation(), same);
  clip.clear();
  EXPECT_TRUE(clip.generation() != same && !clip.text() && !this->driver.pastedText());

  this->copied(QStringLiteral("theirs"));  // neither what is not on offer nor what is theirs counts
  EXPECT_TRUE(this->driver.pastedText() == QStringLiteral("theirs") && pastes == 2);
}

TYPED_TEST(ClipboardContract, AnotherProgramsCopyIsANewGenerationReadWithinLimits) {
  const QImage image = picture(40, 30), square = picture(40, 40), tooMany = picture(41, 41);
  const QString theirs = QStringLiteral("  theirs: \u00FCn\u00EFc\u00F6d\u00E9 \uFEFF\U0001F389\n");
  using Text = std::optional<QString>;
  struct Case { Text text; QImage image; bool secret; Text readText; bool readImage; };
  for (const Case& c : std::vector<Case>{{theirs, {}, false, theirs, false},  // trimming is not the clipboard's
                                         {std::nullopt, image, false, std::nullopt, true},
                                         {QString(), {}, false, QString(), false},
                                         {"words", image, false, "words", false},  // text first
                                         {" \n ", image, false, " \n ", true},     // blank text: the picture too
                                         {"hunter2", {}, true, std::nullopt, false},
                                         {QString(kMaxBytes, u'x'), {}, false, QString(kMaxBytes, u'x'), false},
                                         {QString(2 * kMaxBytes, u'x'), {}, false, std::nullopt, false},
                                         {std::nullopt, square, false, std::nullopt, true},
                                         {std::nullopt, tooMany, false, std::nullopt, false}}) {
    SCOPED_TRACE(testing::Message() << c.text.value_or("(none)").left(20).toStdString() << ", " << c.image.width()
                                    << " wide" << (c.secret ? ", secret" : ""));
    this->copied(c.text, c.image, c.secret);
    EXPECT_EQ(this->clip.text(), c.readText);
    EXPECT_EQ(pixelsOf(this->clip.image()), c.readImage ? c.image : QImage());
  }
}

// Every format of a copy is read, within the extra formats' cap and without
// one whose owner never answers, and offered again byte for byte.
TYPED_TEST(ClipboardContract, EveryFormatIsKeptAndOfferedAgainByteForByte) {
  const QByteArray html = "<p>rich <b>words</b></p>", files = "file:///tmp/report.pdf\r\nfile:///tmp/b%20c.txt\r\n";
  this->changes([&] {
    this->driver.copyFormats("rich words", {{"text/html", html}, {"application/x-over-the-cap", QByteArray(kMaxExtra, 'x')},
                                            {"text/uri-list", files}, {"application/x-hangs", "never"}, {"TIMESTAMP", "1"}},
                             "application/x-hangs");
  });
  const std::shared_ptr<const ClipFormats> formats = this->clip.formats();
  ASSERT_TRUE(formats);
  EXPECT_EQ(this->clip.text(), QStringLiteral("rich words"));
  std::vector<QByteArray> extras;
  for (const ClipFormat& f : formats->list())
    if (!isPlainTextFormat(f.name)) extras.push_back(f.name + "=" + f.data);
  EXPECT_EQ(extras, std::vector<QByteArray>({"text/html=" + html, "text/uri-list=" + files}));
  EXPECT_EQ(formats->fileNames(), QStringList({"report.pdf", "b c.txt"}));

  this->copied(QStringLiteral("another"));
  this->clip.setClip(QStringLiteral("rich words"), nullptr, formats);
  EXPECT_EQ(this->clip.formats(), formats);
  EXPECT_EQ(this->driver.pastedAs("text/html"), html);
  EXPECT_EQ(this->driver.pastedAs("text/uri-list"), files);
  EXPECT_EQ(this->driver.pastedText(), QStringLiteral("rich words"));
}

// Every new generation is reported, this program's own writes too, but
// from the event loop: never from inside a write, so that the program knows
// its own generation by the time the report comes.
TYPED_TEST(ClipboardContract, ChangesAreReportedFromTheEventLoop) {
  Clipboard& clip = this->clip;
  int reports = 0;
  std::int64_t reported = -1;
  clip.setChangeHandler([&] { ++reports, reported = clip.generation(); });
  clip.setText(QStringLiteral("mine"));
  EXPECT_EQ(reports, 0);
  ASSERT_TRUE(this->driver.waitFor([&] { return reported == clip.generation(); }));
  this->copied(QStringLiteral("theirs"));
  EXPECT_TRUE(this->driver.waitFor([&] { return reported == clip.generation(); })) << "another's change unreported";
  EXPECT_EQ(reports, 2);
}

// The program that copied is going: what it held may be written back
// before the clipboard empties, but not when it emptied the clipboard itself.
TYPED_TEST(ClipboardContract, AQuittingOwnersContentsMayBeKept) {
  Clipboard& clip = this->clip;
  std::optional<QString> held;
  clip.setOwnerGoneHandler([&] {
    held = clip.text();
    if (held == QStringLiteral("keep")) clip.setText(*held);
  });
  for (auto [text, emptied] : {std::pair{"keep", false}, {"drop", false}, {"keep", true}}) {
    SCOPED_TRACE(testing::Message() << text << (emptied ? ", emptied" : ", quit"));
    const bool seenGoing = !emptied || !TypeParam::kTellsEmptyingApart;
    const bool kept = seenGoing && text == std::string_view("keep");
    held.reset();
    this->copied(QString::fromUtf8(text));
    this->changes([&] { this->driver.ownerGoes(emptied); });
    EXPECT_EQ(held, seenGoing ? std::optional(QString::fromUtf8(text)) : std::nullopt);
    EXPECT_EQ(clip.text(), kept ? std::optional(QString::fromUtf8(text)) : std::nullopt);
    EXPECT_EQ(this->driver.pastedText(), clip.text());
  }
}

}  // namespace
}  // namespace tuckshelf
