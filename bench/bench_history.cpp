// Figures for the history's hot paths: recording and storing a 1 MB text,
// and making the key of a 3840 x 2160 picture.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include "history/captured_text.h"
#include "history/clip_image.h"
#include "history/history_list.h"
#include "platform/linux/json_settings_store.h"

using namespace tuckshelf;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F>
double medianMs(int runs, F&& body) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    body(i);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

QString megabyteText(int variant) {
  QString text;
  text.reserve(1 << 20);
  while (text.size() < (1 << 20)) text += QStringLiteral("lorem ipsum dolor sit amet %1 ").arg(variant);
  text.truncate(1 << 20);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  JsonSettingsStore store(dir.filePath(QStringLiteral("tuckshelf/defaults.json")));

  History history;
  for (int i = 0; i < 4; ++i) recordInto(history, ClipItem(megabyteText(100 + i), nullptr), 5);
  std::vector<QString> texts;
  for (int i = 0; i < 9; ++i) texts.push_back(megabyteText(i));

  const double recordMs = medianMs(9, [&](int i) {
    const auto captured = normalizedCapture(texts[std::size_t(i)]);
    recordInto(history, ClipItem(*captured, nullptr), 5);
    store.setStringArray(kHistoryKey, storedTexts(history));
  });
  std::printf("capture, record and store a 1 MB text (history of five 1 MB texts): %.2f ms\n", recordMs);

  QImage picture(3840, 2160, QImage::Format_ARGB32);
  picture.fill(Qt::darkCyan);
  const double keyMs = medianMs(9, [&](int i) {
    picture.setPixel(i, 0, 0xff000000u + uint(i));
    const auto digest = ClipImage::digestOf(picture);
    const ClipItem item(std::nullopt, std::make_shared<ClipImage>(picture.size(), QImage(), QByteArray(),
                                                                   QString(), digest));
    if (item.key.isEmpty()) std::abort();
  });
  std::printf("key of a 3840 x 2160 image: %.2f ms\n", keyMs);
  return 0;
}
