// Time from the pointer entering the hover region to the open list's rows
// being built and laid out, on the real panel and text measurer (offscreen),
// with five short texts and with five 1 MB texts.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "platform/x11/x11_window_shaper.h"
#include "widgets/overlay_panel.h"
#include "platform/qt/qt_text_measurer.h"
#include "../tests/unit/fakes.h"

using namespace tuckshelf;
using namespace tuckshelf::fakes;
using Clock = std::chrono::steady_clock;

namespace {

QString longText(int variant) {
  QString text;
  text.reserve(1 << 20);
  while (text.size() < (1 << 20)) text += QStringLiteral("word%1 and some more words ").arg(variant);
  text.truncate(1 << 20);
  return text;
}

double medianOpenMs(const std::vector<QString>& texts) {
  FakeClipboard clipboard;
  FakeSettingsStore defaults;
  FakeDisplays displays;
  FakeMonitors monitors;
  FakeTimers timers;
  FakeInstance instance;
  QtTextMeasurer measurer(fontFor(OverlayFont{}));
  FakeHoverBands bands;
  X11WindowShaper shaper;
  auto delegate = AppDelegate::create(PlatformServices{clipboard, defaults, displays, monitors, timers, instance,
                                                       measurer, bands, overlayPanelFactory(shaper)});
  QStringList stored(texts.begin(), texts.end());
  defaults.setStringArray(kHistoryKey, stored);
  delegate->launch();
  QApplication::processEvents();

  std::vector<double> ms;
  for (int run = 0; run < 15; ++run) {
    displays.pointer = Point{960, 1080};
    const auto start = Clock::now();
    delegate->pollCursor(displays.pointer);  // opens: rows built, panel placed
    QApplication::sendPostedEvents();    // resize and layout of the rows
    QApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    displays.pointer = Point{100, 100};
    delegate->pollCursor(std::nullopt);  // the pointer left: collapses
    QApplication::processEvents();
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform reports each window operation it cannot do.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg)
      std::fprintf(stderr, "%s\n", qPrintable(message));
  });
  QApplication app(argc, argv);
  std::vector<QString> shortTexts{"alpha", "bravo charlie", "delta", "echo foxtrot golf", "hotel"};
  std::vector<QString> longTexts;
  for (int i = 0; i < 5; ++i) longTexts.push_back(longText(i));
  std::printf("open the list, five short texts: %.2f ms\n", medianOpenMs(shortTexts));
  std::printf("open the list, five 1 MB texts: %.2f ms\n", medianOpenMs(longTexts));
  return 0;
}
