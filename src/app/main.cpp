#include <cstdio>
#include <memory>

#include <QApplication>

#include "app/app_delegate.h"
#include "app/quit_on_signal.h"
#include "platform/x11/x11_backend.h"
#include "widgets/overlay_panel.h"

using namespace tuckshelf;

int main(int argc, char** argv) {
  // Qt aborts when it cannot reach the display; say so plainly instead.
  if (!x11DisplayReachable()) {
    std::fprintf(stderr, "tuckshelf: no X display to run on (DISPLAY=%s)\n",
                 qEnvironmentVariableIsEmpty("DISPLAY") ? "unset" : qgetenv("DISPLAY").constData());
    return 1;
  }
  // The program draws on X11 only; under Wayland it goes through Xwayland.
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication::setApplicationName(QStringLiteral("tuckshelf"));
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  const std::unique_ptr<Backend> backend = makeX11Services();
  static std::shared_ptr<AppDelegate> delegate = AppDelegate::create(PlatformServices{
      backend->clipboard(), backend->settings(), backend->displays(), backend->monitors(), backend->timers(),
      backend->processTable(), backend->textMeasurer(), backend->hoverBands(), overlayPanelFactory(backend->windowShaper())});
  delegate->launch();
  // Quitting through the event loop lets the sanitizers report at exit.
  quitOnTerminationSignals();
  const int status = app.exec();
  delegate.reset();
  return status;
}
