// Longest stall of the event loop while a large picture is captured: the
// real X11Clipboard reads a PNG that xclip offers on the X server of
// $DISPLAY, and the real delegate records it, persists the history and
// shows the resting panel, all on this thread, while a 1 ms timer notes the
// largest gap between its ticks. Arguments: the PNG files, one capture each.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "app/app_delegate.h"
#include "platform/x11/x11_window_shaper.h"
#include "widgets/overlay_panel.h"
#include "platform/qt/qt_text_measurer.h"
#include "platform/linux/json_settings_store.h"
#include "platform/qt/qt_displays.h"
#include "platform/qt/qt_timers.h"
#include "platform/x11/x11_input_monitors.h"
#include "platform/x11/x11_clipboard.h"
#include "platform/x11/x11_hover_bands.h"
#include "../tests/unit/fakes.h"

using namespace tuckshelf;

namespace {

// The real store, counting its writes: the delegate writes once it has
// recorded a capture.
class CountingDefaults : public SettingsStore {
 public:
  explicit CountingDefaults(const QString& path) : store_(path) {}
  std::optional<QStringList> stringArray(const QString& key) override { return store_.stringArray(key); }
  void setStringArray(const QString& key, const QStringList& value) override {
    store_.setStringArray(key, value);
    ++writes;
  }
  int writes = 0;

 private:
  JsonSettingsStore store_;
};

// The largest gap between ticks of a 1 ms timer since the last reset.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (now - last_ > longest_) {
        longest_ = now - last_;
        longestEnd_ = now;
      }
      last_ = now;
    });
    clock_.start();
    timer_.start();
  }
  void reset() {
    last_ = clock_.nsecsElapsed();
    start_ = last_;
    longest_ = 0;
    longestEnd_ = last_;
  }
  double longestMs() const {
    // A stall still under way counts too.
    return double(std::max(longest_, clock_.nsecsElapsed() - last_)) / 1e6;
  }
  // When the longest stall began, in ms since the reset.
  double longestStartMs() const { return double(longestEnd_ - longest_ - start_) / 1e6; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 start_ = 0;
  qint64 longest_ = 0;
  qint64 longestEnd_ = 0;
};

// Runs the event loop until `done` holds or `ms` pass; false on time-out.
template <typename Done>
bool runUntil(Done done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") || argc < 2) {
    std::fprintf(stderr, "usage: DISPLAY=:N %s picture.png...\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  QTemporaryDir dir;
  CountingDefaults defaults(dir.filePath(QStringLiteral("tuckshelf/defaults.json")));
  // A full history of texts; each picture then pushes one of them out.
  defaults.setStringArray(kHistoryKey, {"one", "two", "three", "four", "five"});

  X11Clipboard clipboard;
  clipboard.waitForInitialContents(1000);
  QtDisplays displays;
  X11InputMonitors monitors;
  QtTimers timers;
  fakes::FakeInstance instance;  // no other copy to end
  QtTextMeasurer measurer(fontFor(OverlayFont{}));
  X11HoverBands bands;
  X11WindowShaper shaper;
  auto delegate = AppDelegate::create(PlatformServices{clipboard, defaults, displays, monitors, timers, instance,
                                                       measurer, bands, overlayPanelFactory(shaper)});
  delegate->launch();
  runUntil([] { return false; }, 500);  // launch work out of the way

  StallMeter meter;
  std::vector<std::unique_ptr<QProcess>> owners;
  double worst = 0;
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const QString path = QString::fromLocal8Bit(argv[i]);
    const std::int64_t generation = clipboard.generation();
    const int writes = defaults.writes;
    owners.push_back(std::make_unique<QProcess>());
    owners.back()->start(QStringLiteral("xclip"),
                         {"-selection", "clipboard", "-t", "image/png", "-i", path});
    owners.back()->waitForStarted();
    // From here on, all the work is the capture's.
    meter.reset();
    QElapsedTimer clock;
    clock.start();

    if (!runUntil([&] { return clipboard.generation() != generation; }, 10000)) {
      std::fprintf(stderr, "picture %d: the clipboard never changed\n", i);
      ++failures;
      continue;
    }
    const double settledMs = double(clock.nsecsElapsed()) / 1e6;
    QElapsedTimer imageClock;
    imageClock.start();
    const auto image = clipboard.image();
    const double imageMs = double(imageClock.nsecsElapsed()) / 1e6;
    if (!image || image->size() != QSize(3840, 2160)) {
      std::fprintf(stderr, "picture %d: no 3840 x 2160 picture came\n", i);
      ++failures;
      continue;
    }
    // The delegate records it at its next poll, at most 0.4 s on.
    if (!runUntil([&] { return defaults.writes != writes; }, 2000)) {
      std::fprintf(stderr, "picture %d: the delegate never recorded it\n", i);
      ++failures;
      continue;
    }
    const double recordedMs = double(clock.nsecsElapsed()) / 1e6;
    runUntil([] { return false; }, 100);  // what the resting panel posted
    const double stallMs = meter.longestMs();
    worst = std::max(worst, stallMs);
    std::printf("capture %d of a %s (%.1f MB PNG): clipboard read and decoded after %.0f ms, recorded after %.0f ms\n",
                i, "3840 x 2160 picture", double(QFileInfo(path).size()) / 1e6, settledMs, recordedMs);
    std::printf("capture %d, image() to build the item: %.3f ms\n", i, imageMs);
    std::printf("capture %d, longest event-loop stall: %.2f ms (from %.0f ms on)\n", i, stallMs,
                meter.longestStartMs());
  }
  for (auto& owner : owners) {
    owner->terminate();
    owner->waitForFinished(2000);
  }
  if (failures) return 1;
  std::printf("longest event-loop stall while capturing a 3840 x 2160 picture: %.2f ms\n", worst);
  return 0;
}
