// The open list: its size, its rows and what a click on them does.

#include <gtest/gtest.h>

#include <QImage>

#include "fakes.h"
#include "listview/history_layout.h"

namespace tuckshelf {
namespace {

using Mode = AppDelegate::Mode;

const Rect kResting{835, 1048, 250, 32};  // gap 24

struct List : testing::Test {
  fakes::Rig rig;
  std::shared_ptr<AppDelegate> d;

  // Launches with `stored` as the history and what the clipboard holds.
  void start(const QStringList& stored) {
    rig.defaults.values[kHistoryKey] = stored;
    d = rig.launch();
  }
  // Into the region, then down onto the list.
  void open() {
    rig.displays.pointer = {960, 1080};
    rig.monitors.moveMouse();
    ASSERT_EQ(d->mode(), Mode::expanded);
    rig.displays.pointer = {960, 1030};
  }
  QStringList history() const {
    QStringList out;
    for (const ClipItem& e : d->history()) out.append(e.text.value_or(QStringLiteral("<img>")));
    return out;
  }
  const std::vector<RowContent>& rows() const { return rig.overlay->rows; }
  double width() const { return rig.overlay->currentFrame.width; }
};

TEST_F(List, WidthSpreadsTheNewestTextOverTwoLines) {
  rig.measurer.charWidth = 1;  // single-line width = length
  // t = ceil(length / 2), W = clamp(t + 32, 220, 660).
  for (auto [length, w] : {std::pair{100, 220.0}, {375, 220.0}, {376, 220.0}, {500, 282.0},
                           {501, 283.0}, {1254, 659.0}, {1255, 660.0}, {1256, 660.0},
                           {1400, 660.0}}) {
    rig.clipboard.copyText(QString(length, u'x'));
    start({QString(5000, u'y')});  // older entries play no part
    open();
    EXPECT_EQ(width(), w) << length;
    EXPECT_EQ(rig.overlay->currentFrame.x, 960 - w / 2) << length;
    EXPECT_EQ(rows().at(1).height, 30);
  }
}

TEST_F(List, ShortEntriesGetRowsOf30) {
  start({"one"});
  d->renderHistory();  // resting: nothing to render
  EXPECT_EQ(rig.overlay->rowBuilds, 0);
  EXPECT_EQ(rig.overlay->frameSets, 1);
  open();
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{850, 1080 - 24 - 46, 220, 24 + 46}));

  start({"e", "d", "c", "b", "a"});
  open();
  EXPECT_EQ(rig.overlay->currentFrame.height, 24 + 178);  // 16 + 5 x 30 + 4 x 3
  ASSERT_EQ(rows().size(), 5u);
  for (std::size_t i = 0; i < rows().size(); ++i) {
    const RowContent& r = rows()[i];
    const bool lead = i == 0;
    EXPECT_EQ(r.item.text, history()[qsizetype(i)]);
    EXPECT_EQ(r.height, 30);
    EXPECT_EQ(r.maxLines, lead ? 0 : 1);
    EXPECT_EQ(r.align, lead ? TextAlign::center : TextAlign::left);
    EXPECT_EQ(r.pad, lead ? 16 : 10);
  }
}

TEST_F(List, LeadRowGrowsWithItsWrappedTextUpToTheCap) {
  // At W 660 the text wraps at 628: 104 characters a line, 15 points a line.
  for (auto [length, lead] : {std::pair{400, 70.0}, {21 * 104, 325.0}, {21 * 104 + 1, 330.0},
                              {1 << 20, 330.0}}) {
    rig.clipboard.copyText(QString(length, u'x'));
    start({"older"});
    rig.measurer.measuredChars = 0;
    open();
    EXPECT_EQ(width(), 660) << length;
    EXPECT_EQ(rows().at(0).height, lead) << length;
    EXPECT_EQ(rig.overlay->currentFrame.height, 24 + 16 + lead + 3 + 30) << length;
    // A megabyte is measured only as far as it can change the sizes.
    EXPECT_LT(rig.measurer.measuredChars, 10000) << length;
  }
}

// Measures every text to its end, whatever it is told is enough.
class FullMeasurer : public TextMeasurer {
 public:
  FullMeasurer(double charWidth, double lineSpacing) : cw_(charWidth), ls_(lineSpacing) {}
  double defaultLineHeight() override { return 14.4; }
  double singleLineWidth(const QString& text, double) override { return text.size() * cw_; }
  double wrappedHeight(const QString& text, double width, double) override {
    const qsizetype perLine = std::max<qsizetype>(1, qsizetype(width / cw_));
    return std::max<qsizetype>(1, (text.size() + perLine - 1) / perLine) * ls_;
  }

 private:
  double cw_, ls_;
};

TEST(ListSizing, BoundedMeasurementGivesTheFullResult) {
  std::vector<qsizetype> lengths;
  for (qsizetype n = 0; n <= 3000; ++n) lengths.push_back(n);
  for (qsizetype n = 3001; n <= 40000; n += 37) lengths.push_back(n);
  for (auto [cw, ls] : {std::pair{6.0, 15.0}, {1.0, 15.0}, {0.5, 14.2}, {7.3, 16.0}}) {
    fakes::FakeMeasurer bounded;
    bounded.charWidth = cw;
    bounded.lineSpacing = ls;
    FullMeasurer full(cw, ls);
    for (qsizetype n : lengths) {
      const ListSizing a = sizeHistoryList(QString(n, u'x'), 3, {}, bounded);
      const ListSizing b = sizeHistoryList(QString(n, u'x'), 3, {}, full);
      ASSERT_TRUE(a.width == b.width && a.rowHeights == b.rowHeights && a.contentH == b.contentH)
          << "char width " << cw << ", " << n << " chars: W " << a.width << " vs " << b.width
          << ", lead " << a.rowHeights[0] << " vs " << b.rowHeights[0];
    }
  }
}

TEST_F(List, SelectPutsTheEntryBackAndMovesItToTheFront) {
  for (auto [index, after] : {std::pair{2, QStringList{"c", "e", "d", "b", "a"}},
                              {0, QStringList{"e", "d", "c", "b", "a"}}}) {
    rig.clipboard.copyNothing();
    start({"e", "d", "c", "b", "a"});
    ASSERT_FALSE(d->unpasted());
    open();
    rig.overlay->clickRow(std::size_t(index));
    EXPECT_EQ(rig.clipboard.txt, after.front());
    EXPECT_EQ(d->lastChangeCount(), rig.clipboard.count);
    EXPECT_EQ(history(), after);
    EXPECT_EQ(rig.defaults.stored(), after);
    EXPECT_TRUE(d->unpasted());
    EXPECT_EQ(d->mode(), Mode::normal);
    EXPECT_EQ(rig.overlay->currentFrame, kResting);
    EXPECT_FALSE(rig.overlay->dotHidden);

    const int writes = rig.defaults.writes;
    rig.timers.fire();  // its own write is not a new copy
    EXPECT_EQ(rig.defaults.writes, writes);
  }
}

TEST_F(List, ImageEntriesShowAPlaceholderAndSelectWritesTheImage) {
  QImage img(400, 300, QImage::Format_RGB32);
  img.fill(Qt::blue);
  const auto picture = ClipImage::fromImage(img);
  rig.clipboard.copyImage(picture);
  start({QString(3000, u'x')});
  open();
  EXPECT_EQ(displayText(rows().at(0).item), QStringLiteral("\U0001F5BC  Image"));
  EXPECT_EQ(width(), 220);
  EXPECT_EQ(rows()[0].height, 30);

  rig.overlay->clickRow(0);
  EXPECT_EQ(rig.clipboard.img, picture);
  EXPECT_FALSE(rig.clipboard.txt);

  d->record(ClipItem(QStringLiteral("both"), picture));  // never captured, but possible
  open();
  rig.overlay->clickRow(0);
  EXPECT_EQ(rig.clipboard.txt, QStringLiteral("both"));
  EXPECT_FALSE(rig.clipboard.img);
}

TEST_F(List, DeleteRebuildsRowsThatActOnTheRightEntries) {
  const QString longer(500, u'b');
  start({"a", longer, "c"});
  open();
  const auto staleSelect = rows().at(2).onSelect;
  const auto staleDelete = rows().at(2).onDelete;
  const std::int64_t count = rig.clipboard.count;

  rig.overlay->clickRemove(0);
  EXPECT_EQ(d->mode(), Mode::expanded);
  EXPECT_EQ(rig.defaults.stored(), (QStringList{longer, "c"}));
  ASSERT_EQ(rows().size(), 2u);
  EXPECT_EQ(rows()[0].item.text, longer);
  EXPECT_EQ(width(), 660);
  EXPECT_TRUE(rig.overlay->lastAnimated);

  // Rows built for three entries no longer reach past the end.
  const int writes = rig.defaults.writes;
  staleSelect();
  staleDelete();
  EXPECT_EQ(rig.clipboard.count, count);
  EXPECT_EQ(rig.defaults.writes, writes);
  EXPECT_EQ(history(), (QStringList{longer, "c"}));
  EXPECT_EQ(d->mode(), Mode::expanded);

  rig.overlay->clickRemove(1);
  EXPECT_EQ(history(), QStringList{longer});
}

TEST_F(List, DeletingTheLastEntryRestsAndStoresNothing) {
  rig.clipboard.copyText(QStringLiteral("only"));
  start({});
  open();
  const std::int64_t seen = d->lastChangeCount();
  rig.overlay->clickRemove(0);
  ASSERT_TRUE(rig.defaults.values.count(kHistoryKey));
  EXPECT_EQ(rig.defaults.stored(), QStringList{});
  EXPECT_EQ(d->mode(), Mode::normal);
  EXPECT_EQ(rig.overlay->currentFrame, kResting);
  // Still on the clipboard, and not taken up again.
  EXPECT_EQ(rig.clipboard.txt, QStringLiteral("only"));
  EXPECT_EQ(d->lastChangeCount(), seen);
  EXPECT_TRUE(d->unpasted());
  rig.timers.fire();
  EXPECT_TRUE(d->history().empty());
}

}  // namespace
}  // namespace tuckshelf
