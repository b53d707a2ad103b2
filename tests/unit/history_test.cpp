// Recording into the history, and the stored texts.

#include <gtest/gtest.h>

#include <QImage>

#include "fakes.h"

namespace tuckshelf {
namespace {

using fakes::Rig;

QStringList entries(const History& history) {
  QStringList out;
  for (const ClipItem& e : history) out.append(e.text.value_or(QStringLiteral("<img>")));
  return out;
}

std::shared_ptr<const ClipImage> anImage(int red) {
  QImage img(3, 3, QImage::Format_RGBA8888);
  img.fill(qRgb(red, 0, 0));
  return ClipImage::fromImage(img);
}

TEST(History, RecordMovesToFrontCapsAndStores) {
  const QString composed = QStringLiteral("caf\u00E9"), decomposed = QStringLiteral("cafe\u0301");
  struct Case { QStringList stored; QString recorded; QStringList after; };
  for (const Case& c : std::vector<Case>{
           {{}, "a", {"a"}},
           {{"a", "b", "c", "d", "e"}, "a", {"a", "b", "c", "d", "e"}},
           {{"a", "b", "c", "d", "e"}, "d", {"d", "a", "b", "c", "e"}},
           {{"a", "b", "c", "d", "e"}, "f", {"f", "a", "b", "c", "d"}},
           {{"1", "2", "3", "4", "5", "6", "7", "8"}, "x", {"x", "1", "2", "3", "4"}},
           {{"b", "a", "c", "a"}, "a", {"a", "b", "c", "a"}},
           {{"x", composed}, decomposed, {decomposed, "x"}}}) {
    Rig rig;
    rig.defaults.values[kHistoryKey] = c.stored;
    auto d = rig.make();
    d->loadStoredHistory();
    EXPECT_EQ(entries(d->history()), c.stored);
    d->record(ClipItem(c.recorded, nullptr));
    EXPECT_EQ(entries(d->history()), c.after) << c.recorded.toStdString();
    EXPECT_EQ(rig.defaults.stored(), c.after);
    EXPECT_EQ(rig.defaults.writes, 1);
  }
}

TEST(History, ImagesStayInMemoryOnly) {
  Rig rig;
  auto d = rig.make();
  d->record(ClipItem(QStringLiteral("one"), nullptr));
  d->record(ClipItem(std::nullopt, anImage(1)));
  d->record(ClipItem(QStringLiteral("two"), nullptr));
  d->record(ClipItem(std::nullopt, anImage(2)));
  d->record(ClipItem(QStringLiteral("three"), nullptr));
  EXPECT_EQ(rig.defaults.stored(), (QStringList{"three", "two", "one"}));
  EXPECT_EQ(rig.defaults.writes, 5);

  // The first picture again: one entry, moved to the front, the new item kept.
  const auto again = anImage(1);
  d->record(ClipItem(std::nullopt, again));
  EXPECT_EQ(entries(d->history()), (QStringList{"<img>", "three", "<img>", "two", "one"}));
  EXPECT_EQ(d->history()[0].image, again);

  auto restarted = rig.make();
  restarted->loadStoredHistory();
  EXPECT_EQ(entries(restarted->history()), (QStringList{"three", "two", "one"}));
}

TEST(History, LoadTakesStoredStringsAsTheyAreOrNothing) {
  Rig rig;
  rig.defaults.values[kHistoryKey] = {"", "  padded\n", "dup", "dup"};
  auto d = rig.make();
  d->loadStoredHistory();
  EXPECT_EQ(entries(d->history()), (QStringList{"", "  padded\n", "dup", "dup"}));
  EXPECT_EQ(d->history()[0].key, QStringLiteral("t:"));
  EXPECT_EQ(rig.defaults.writes, 0);

  rig.defaults.malformed[kHistoryKey] = true;
  d->loadStoredHistory();
  EXPECT_TRUE(d->history().empty());
}

}  // namespace
}  // namespace tuckshelf
