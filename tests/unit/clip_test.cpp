// Clip keys and the text a capture keeps.

#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>

#include "fakes.h"
#include "history/captured_text.h"

namespace tuckshelf {
namespace {

// A w x h picture whose pixel i is grey level i, with some pixels changed.
QImage picture(int w, int h, std::vector<std::pair<int, QRgb>> changes = {}) {
  QImage img(w, h, QImage::Format_RGBA8888);
  for (int i = 0; i < w * h; ++i) img.setPixel(i % w, i / w, qRgb(i % 256, i % 256, i % 256));
  for (auto [i, rgb] : changes) img.setPixel(i % w, i / w, rgb);
  return img;
}

QString imageKey(const QImage& img) { return ClipItem(std::nullopt, ClipImage::fromImage(img)).key; }

TEST(ClipKey, TextKeys) {
  const auto img = ClipImage::fromImage(picture(4, 4));
  EXPECT_EQ(ClipItem(QStringLiteral("abc"), nullptr).key, QStringLiteral("t:abc"));
  EXPECT_EQ(ClipItem(QString(), nullptr).key, QStringLiteral("t:"));
  EXPECT_EQ(ClipItem(QStringLiteral("t:x"), nullptr).key, QStringLiteral("t:t:x"));
  const ClipItem both(QStringLiteral("abc"), img);
  EXPECT_EQ(both.key, QStringLiteral("t:abc"));
  EXPECT_EQ(both.image, img);
}

TEST(ClipKey, ImageKeysDigestTheWholePicture) {
  const QString key = imageKey(picture(4, 4));
  const auto m = QRegularExpression(QStringLiteral("^i:(0|[1-9][0-9]*):(0|-?[1-9][0-9]*)$")).match(key);
  ASSERT_TRUE(m.hasMatch()) << key.toStdString();
  EXPECT_EQ(m.captured(1), QStringLiteral("72"));  // two 32-bit sides, 16 RGBA pixels

  EXPECT_EQ(imageKey(picture(32, 1)), imageKey(picture(32, 1)));
  // The first 64 bytes are the header and pixels 0 to 13; these differ
  // only further on.
  EXPECT_NE(imageKey(picture(32, 1)), imageKey(picture(32, 1, {{20, qRgb(1, 2, 3)}})));
  EXPECT_NE(imageKey(picture(200, 200)), imageKey(picture(200, 200, {{39999, qRgb(9, 9, 9)}})));
  EXPECT_NE(imageKey(picture(2, 1)), imageKey(picture(1, 2)));
}

TEST(ClipKey, NoUsableImageFallsBackToQuestionMark) {
  EXPECT_EQ(imageKey(QImage()), QStringLiteral("?"));
  EXPECT_EQ(ClipItem(std::nullopt, nullptr).key, QStringLiteral("?"));
}

TEST(ClipKey, EqualityIsCanonicalEquivalence) {
  EXPECT_TRUE(keysEqual(QStringLiteral("t:caf\u00E9"), QStringLiteral("t:cafe\u0301")));
  // Combining marks in another order.
  EXPECT_TRUE(keysEqual(QStringLiteral("t:\u1E69"), QStringLiteral("t:s\u0307\u0323")));
  EXPECT_FALSE(keysEqual(QStringLiteral("t:cafe"), QStringLiteral("t:caf\u00E9")));
  EXPECT_FALSE(keysEqual(QStringLiteral("t:A"), QStringLiteral("t:a")));
  // A compatibility form is not a canonical one.
  EXPECT_FALSE(keysEqual(QStringLiteral("t:\uFB01"), QStringLiteral("t:fi")));
}

TEST(CapturedText, TrimsJoinsLinesAndKeepsTheRest) {
  const std::vector<std::pair<const char16_t*, std::optional<const char16_t*>>> cases{
      {u"  hello\nworld \n", u"hello world"},
      {u"a\n\nb", u"a  b"},
      {u"a \n b", u"a   b"},
      {u"\ta\tb  c\r\n", u"a\tb  c"},
      // Every kind of white space at the ends, none of it inside.
      {u"\u0085\u00A0\u1680\u2000\u2028\u2029\u202F\u3000\v\fx\u00A0y\u3000", u"x\u00A0y"},
      {u"\U0001F600 ", u"\U0001F600"},
      // Format and other control characters are not white space.
      {u"\u200B", u"\u200B"},
      {u"\uFEFFa\u001F", u"\uFEFFa\u001F"},
      {u"", std::nullopt},
      {u"  \n \t\r\n", std::nullopt},
      {u"\u00A0\u2028\u3000\u0085\n", std::nullopt}};
  for (const auto& [copied, kept] : cases) {
    const auto got = normalizedCapture(QString::fromUtf16(copied));
    if (kept)
      EXPECT_EQ(got, QString::fromUtf16(*kept)) << QString::fromUtf16(copied).toStdString();
    else
      EXPECT_FALSE(got) << QString::fromUtf16(copied).toStdString();
  }
}

}  // namespace
}  // namespace tuckshelf
