#include <cstdio>
#include <memory>

#include <QApplication>
#include <xcb/xcb.h>

#include "app/app_delegate.h"
#include "app/overlay_panel.h"
#include "app/quit_on_signal.h"
#include "listview/qt_text_measurer.h"
#include "platform/json_defaults_store.h"
#include "platform/linux_processes.h"
#include "platform/qt_displays.h"
#include "platform/qt_timers.h"
#include "platform/x11_input_monitors.h"
#include "platform/x11_pasteboard.h"

using namespace tuckshelf;

namespace {

// Qt aborts when it cannot reach the display; say so plainly instead.
bool displayReachable() {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (!displayReachable()) {
    std::fprintf(stderr, "tuckshelf: no X display to run on (DISPLAY=%s)\n",
                 qEnvironmentVariableIsEmpty("DISPLAY") ? "unset" : qgetenv("DISPLAY").constData());
    return 1;
  }
  // The program draws on X11 only; under Wayland it goes through XWayland.
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication::setApplicationName(QStringLiteral("tuckshelf"));
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  X11Pasteboard pasteboard;
  // The launch captures what is on the clipboard now; give its owner a
  // moment to hand it over.
  pasteboard.waitForInitialContents(1000);
  JsonDefaultsStore defaults(JsonDefaultsStore::defaultPath());
  QtDisplays displays;
  X11InputMonitors monitors;
  QtTimers timers;
  LinuxProcesses processes;

  const OverlayFont overlayFont;
  QtTextMeasurer measurer(fontFor(overlayFont));

  static std::shared_ptr<AppDelegate> delegate = AppDelegate::create(PlatformServices{
      pasteboard, defaults, displays, monitors, timers, processes, measurer, makeOverlayPanel});
  delegate->applicationDidFinishLaunching();
  // Quitting through the event loop lets the sanitizers report at exit.
  quitOnTerminationSignals();
  const int status = app.exec();
  delegate.reset();
  return status;
}
