// What a capture keeps, the entries' keys, recording into the history, and
// the open list: its size, its rows and what a click on them does.
// tests/fuzz/ holds capture to an independent statement of its rule.

#include <gtest/gtest.h>

#include <QImage>

#include "fakes.h"
#include "history/captured_text.h"
#include "listview/accessible_names.h"
#include "listview/history_layout.h"

namespace tuckshelf {
namespace {

using namespace Qt::StringLiterals;
using fakes::texts;

// A w x h picture of grey levels, but pixel `red`.
std::shared_ptr<const ClipImage> picture(int w, int h, int red = -1) {
  QImage img(w, h, QImage::Format_RGBA8888);
  for (int i = 0; i < w * h; ++i) img.setPixel(i % w, i / w, i == red ? qRgb(255, 0, 0) : qRgb(i % 256, 0, 0));
  return ClipImage::fromImage(img);
}

TEST(History, CaptureAndKeys) {
  const QString huge(kMaxCapturedLength, u'x');
  for (const auto& [copied, kept] : std::vector<std::pair<QString, std::optional<QString>>>{
           {u"\u3000 a\r\nb\rc\n\nd\u00A0\n"_s, u"a b c  d"_s}, {u"\uFEFF\u200Ba"_s, u"\uFEFF\u200Ba"_s},
           {u"\u00A0\u2029\n \t\r\n"_s, std::nullopt}, {"  " + huge + "\n", huge}, {huge + "y", std::nullopt}})
    EXPECT_EQ(normalizedCapture(copied), kept) << copied.left(20).toStdString();

  EXPECT_EQ(ClipItem(QStringLiteral("t:x"), picture(2, 2)).key, QStringLiteral("t:t:x"));  // the text wins
  EXPECT_EQ(ClipItem(std::nullopt, ClipImage::fromImage(QImage())).key, QStringLiteral("?"));
  EXPECT_EQ(ClipItem(std::nullopt, picture(32, 1)).key, ClipItem(std::nullopt, picture(32, 1)).key);
  // The whole picture counts, well past its first 64 bytes, and its shape.
  for (auto [a, b] : {std::pair{picture(32, 1), picture(32, 1, 20)}, {picture(200, 200), picture(200, 200, 39999)},
                      {picture(2, 1), picture(1, 2)}})
    EXPECT_NE(ClipItem(std::nullopt, a).key, ClipItem(std::nullopt, b).key);
  for (auto [a, b, equal] : {std::tuple{u"t:caf\u00E9", u"t:cafe\u0301", true}, {u"t:\u1E69", u"t:s\u0307\u0323", true},
                             {u"t:A", u"t:a", false}, {u"t:\uFB01", u"t:fi", false}})  // compatibility is not canonical
    EXPECT_EQ(keysEqual(ClipKey(QString::fromUtf16(a)), ClipKey(QString::fromUtf16(b))), equal) << QString::fromUtf16(a).toStdString();
  // An entry's key reads as one string, however it holds its text.
  const ClipItem composed(u"caf\u00E9"_s, nullptr), decomposed(u"cafe\u0301"_s, nullptr);
  EXPECT_TRUE(keysEqual(composed.key, decomposed.key));
  EXPECT_TRUE(keysEqual(composed.key, ClipKey(u"t:cafe\u0301"_s)));
  EXPECT_EQ(ClipKey(u"t:"_s, u"ab"_s), ClipKey(u"t:ab"_s));
  EXPECT_FALSE(keysEqual(ClipKey(u"t:"_s, u"1:2"_s), ClipKey(u"i:1:2"_s)));
}

std::shared_ptr<const ClipFormats> formats(std::vector<std::pair<QByteArray, QByteArray>> list) {
  auto f = std::make_shared<ClipFormats>();
  for (auto& [name, data] : list) f->add(name, data);
  return f;
}

// Formats beyond plain text make another entry, and files show by name.
TEST(History, RichClipsKeyByTheirFormatsAndFilesShowByName) {
  const auto html = [](const char* b) { return formats({{"UTF8_STRING", "a"}, {"text/html", b}}); };
  EXPECT_EQ(ClipItem(u"a"_s, nullptr, formats({{"UTF8_STRING", " a\n"}, {"STRING", "a"}})).key, u"t:a"_s);
  EXPECT_NE(ClipItem(u"a"_s, nullptr, html("<b>a</b>")).key, u"t:a"_s);
  EXPECT_NE(ClipItem(u"a"_s, nullptr, html("<b>a</b>")).key, ClipItem(u"a"_s, nullptr, html("<i>a</i>")).key);
  EXPECT_EQ(ClipItem(u"a"_s, nullptr, html("<b>a</b>")).key, ClipItem(u"a"_s, nullptr, html("<b>a</b>")).key);
  EXPECT_EQ(formats({{"UTF8_STRING", "same"}, {"text/plain", "same"}, {"text/html", "<p>"}})->heldBytes(), 7);
  // Its text alone right after (a desktop keeping a quitting program's
  // text) is the rich entry; later, or with other formats, another entry.
  History history;
  const auto plain = [] { return ClipItem(u"a"_s, nullptr, formats({{"UTF8_STRING", "a"}})); };
  recordInto(history, ClipItem(u"a"_s, nullptr, html("<b>a</b>")), 5);
  recordInto(history, plain(), 5);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].formats->find("text/html")->data, "<b>a</b>");
  for (ClipItem item : {ClipItem(u"a"_s, nullptr, html("<i>a</i>")), ClipItem(u"b"_s, nullptr), plain()})
    recordInto(history, std::move(item), 5);
  EXPECT_EQ(history.size(), 4u);
  EXPECT_EQ(history[0].key, u"t:a"_s);

  struct Case { QByteArray list; QString shown; const char* spoken; };
  for (const Case& c : std::vector<Case>{
           {"file:///home/u/report.pdf\r\n", u"report.pdf"_s, "Files, report.pdf"},
           {"# a comment\nfile:///tmp/a%20b.txt\nfile:///tmp/dir/\nfile:///c", u"a b.txt and 2 more"_s, nullptr},
           {"https://example.org/\n", u"paths"_s, "paths"}}) {  // links, not files: the text
    const ClipItem item(u"paths"_s, nullptr, formats({{"text/uri-list", c.list}}));
    EXPECT_EQ(displayText(item), c.shown);
    EXPECT_EQ(rowKind(item), c.shown == u"paths"_s ? RowKind::text : RowKind::files);
    if (c.spoken) {
      EXPECT_EQ(accessibleRowName(item, 0, 1), "Clip 1 of 1: " + QString::fromUtf8(c.spoken));
    }
  }
  EXPECT_EQ(rowKind(ClipItem(std::nullopt, picture(2, 2), formats({{"text/uri-list", "file:///a"}}))), RowKind::picture);
}

TEST(History, RecordMovesToFrontCapsAndStoresTextsOnly) {
  const QString composed = QStringLiteral("caf\u00E9"), decomposed = QStringLiteral("cafe\u0301");
  struct Case { QStringList stored; QString recorded; QStringList after; };
  for (const Case& c : std::vector<Case>{{{"a", "b", "c", "d", "e"}, "a", {"a", "b", "c", "d", "e"}},
                                         {{"a", "b", "c", "d", "e"}, "d", {"d", "a", "b", "c", "e"}},
                                         {{"1", "2", "3", "4", "5", "6", "7"}, "x", {"x", "1", "2", "3", "4"}},
                                         {{"b", "a", "c", "a"}, "a", {"a", "b", "c", "a"}},
                                         {{"x", composed}, decomposed, {decomposed, "x"}},
                                         {{"", "  padded\n"}, "new", {"new", "", "  padded\n"}}}) {
    fakes::Rig rig;
    rig.defaults.values[kHistoryKey] = c.stored;
    auto d = rig.make();
    d->loadStoredHistory();  // as stored, untrimmed and duplicates included
    EXPECT_EQ(texts(d->history()), c.stored);
    d->record(ClipItem(c.recorded, nullptr));
    EXPECT_TRUE(texts(d->history()) == c.after && rig.defaults.stored() == c.after) << c.recorded.toStdString();
  }
  fakes::Rig rig;
  auto d = rig.make();
  const auto again = picture(3, 3);
  for (const ClipItem& item : {ClipItem(QStringLiteral("one"), nullptr), ClipItem(std::nullopt, picture(3, 3)),
                               ClipItem(QStringLiteral("two"), nullptr), ClipItem(std::nullopt, again)})
    d->record(item);
  EXPECT_EQ(texts(d->history()), (QStringList{"<img>", "two", "one"}));  // the same picture, moved up
  EXPECT_TRUE(d->history()[0].image == again && rig.defaults.stored() == (QStringList{"two", "one"}));
  rig.defaults.malformed.insert(kHistoryKey), d->loadStoredHistory();  // what another version left there
  EXPECT_TRUE(d->history().empty());
}

using Mode = AppDelegate::Mode;

// Measures every text to its end, whatever it is told is enough.
struct FullMeasurer : fakes::FakeMeasurer {
  double singleLineWidth(const QString& text, double) override { return text.size() * charWidth; }
  double wrappedHeight(const QString& text, double width, double) override {
    const qsizetype perLine = std::max<qsizetype>(1, qsizetype(width / charWidth));
    return std::max<qsizetype>(1, (text.size() + perLine - 1) / perLine) * lineSpacing;
  }
};

TEST(ListSizing, TheNewestTextSetsWidthAndLeadRowMeasuredNoFurtherThanItMatters) {
  // Width: half the text's one-line width plus 32, within 220 to 660. The
  // lead row: its text wrapped at its label's width, which is width - 58
  // (the list's insets, the row's and the remove button's column), 15 a
  // line, plus 10; 30 to 330.
  struct Case { qsizetype length; double charWidth, width, lead; };
  for (const Case& c : {Case{20, 1, 220, 30}, {324, 1, 220, 40}, {325, 1, 220, 55}, {501, 1, 283, 55},
                        {1400, 1, 660, 55}, {400, 6, 660, 70}, {21 * 100, 6, 660, 325},
                        {21 * 100 + 1, 6, 660, 330}, {1 << 20, 6, 660, 330}}) {
    fakes::FakeMeasurer measurer;
    measurer.charWidth = c.charWidth;
    const ListSizing s = sizeHistoryList(QString(c.length, u'x'), 3, {}, measurer);
    EXPECT_TRUE(s.width == c.width && s.rowHeights == (std::vector<double>{c.lead, 30, 30}) &&
                s.contentH == 16 + c.lead + 2 * (3 + 30)) << c.length << ": " << s.width << ", " << s.rowHeights[0];
    EXPECT_LT(measurer.measuredChars, 10000) << c.length;
  }
  for (auto [cw, ls] : {std::pair{6.0, 15.0}, {1.0, 15.0}, {0.5, 14.2}, {7.3, 16.0}}) {
    fakes::FakeMeasurer bounded;
    FullMeasurer full;
    bounded.charWidth = full.charWidth = cw, bounded.lineSpacing = full.lineSpacing = ls;
    for (qsizetype n = 0; n <= 40000; n += n < 3000 ? 1 : 37) {
      const QString text(n, u'x');
      const ListSizing a = sizeHistoryList(text, 3, {}, bounded), b = sizeHistoryList(text, 3, {}, full);
      ASSERT_TRUE(a.width == b.width && a.rowHeights == b.rowHeights) << cw << ", " << n << " chars";
    }
  }
}

struct List : testing::Test {
  fakes::Rig rig;
  std::shared_ptr<AppDelegate> d;

  void open(const QStringList& stored) {
    rig.defaults.values[kHistoryKey] = stored;
    d = rig.launch(), rig.pointAtNotch();
    ASSERT_EQ(d->mode(), Mode::expanded);
  }
  const std::vector<RowContent>& rows() const { return rig.overlay->rows; }
  bool resting() const { return d->mode() == Mode::normal && rig.overlay->currentFrame == Rect{835, 1048, 250, 32}; }
};

TEST_F(List, RowsFollowTheHistoryAndSelectPutsOneBackInFront) {
  open({"e", "d", "c", "b", "a"});
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{850, 1080 - 24 - 178, 220, 24 + 178}));  // 16 + 5 x 30 + 4 x 3
  ASSERT_EQ(rows().size(), 5u);
  for (std::size_t i = 0; i < rows().size(); ++i) {
    const RowContent& r = rows()[i];
    const bool lead = i == 0;  // the newest wraps, centred, with more room
    EXPECT_TRUE(r.item.text == fakes::texts(d->history())[qsizetype(i)] && r.height == 30 &&
                r.maxLines == (lead ? 0 : 1) && r.align == (lead ? TextAlign::center : TextAlign::left) &&
                r.pad == (lead ? 16 : 10)) << i;
  }
  rig.overlay->clickRow(2);
  EXPECT_TRUE(rig.clipboard.txt == QStringLiteral("c") && d->unpasted() && !rig.overlay->dotHidden && resting());
  const int writes = rig.defaults.writes;
  rig.clipboard.report();  // its own write is not a new copy
  EXPECT_TRUE(rig.defaults.stored() == (QStringList{"c", "e", "d", "b", "a"}) && rig.defaults.writes == writes);

  rig.clipboard.copyImage(picture(400, 300)), rig.clipboard.report(), rig.pointAtNotch();  // a picture, written back
  EXPECT_EQ(displayText(rows().at(0).item), QStringLiteral("\U0001F5BC  Image"));
  const auto copied = rig.clipboard.img;
  rig.clipboard.copyText(QStringLiteral("elsewhere")), rig.overlay->clickRow(0);
  EXPECT_TRUE(rig.clipboard.img == copied && !rig.clipboard.txt);
}

TEST_F(List, DeleteRebuildsRowsThatActOnTheRightEntriesAndTheLastRests) {
  const QString longer(500, u'b');
  rig.clipboard.copyText(QStringLiteral("only"));
  open({"a", longer});
  const RowContent stale = rows().at(2);
  const std::int64_t count = rig.clipboard.count, seen = d->lastChangeCount();
  rig.overlay->clickRemove(0);
  EXPECT_EQ(rig.defaults.stored(), (QStringList{"a", longer}));
  ASSERT_TRUE(rows().size() == 2 && rig.overlay->currentFrame.width == 220);
  const int writes = rig.defaults.writes;
  stale.onSelect(), stale.onDelete();  // built for three entries: no longer reaches past the end
  EXPECT_TRUE(rig.clipboard.count == count && rig.defaults.writes == writes && d->history().size() == 2);
  rig.overlay->clickRemove(0);
  EXPECT_EQ(rig.overlay->currentFrame.width, 660);
  rig.overlay->clickRemove(0);
  EXPECT_TRUE(rig.defaults.stored().isEmpty() && resting());
  // What was copied stays on the clipboard, and is not taken up again.
  EXPECT_TRUE(rig.clipboard.txt == QStringLiteral("only") && d->lastChangeCount() == seen && d->unpasted());
  rig.clipboard.report();
  EXPECT_TRUE(d->history().empty());
}

// What a screen reader reads: the position, then the text on one line and
// cut short, or the picture's size.
TEST_F(List, RowsAndPanelCarryWhatAScreenReaderReads) {
  const QString longer = QString(199, u'x') + u"\U0001F600 tail"_s;
  open({u"Meeting\n moved"_s, longer});
  rig.clipboard.copyImage(picture(1920, 1080)), rig.clipboard.report(), rig.pointAtNotch();
  ASSERT_EQ(rows().size(), 3u);
  EXPECT_EQ(rows()[0].accessibleName, u"Clip 1 of 3: Picture, 1920 by 1080"_s);
  EXPECT_EQ(rows()[1].accessibleName, u"Clip 2 of 3: Meeting moved"_s);
  EXPECT_EQ(rows()[2].accessibleName, "Clip 3 of 3: " + QString(199, u'x') + u"\u2026"_s);  // never half a pair
  EXPECT_EQ(rig.overlay->description, u"copied, not pasted"_s);
  rig.monitors.typeKey(true, QStringLiteral("v"));
  EXPECT_EQ(rig.overlay->description, QString());
}

}  // namespace
}  // namespace tuckshelf
