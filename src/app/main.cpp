#include <cstdio>
#include <memory>

#include <QApplication>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/quit_on_signal.h"
#include "history/history_list.h"
#include "platform/linux/json_settings_store.h"
#include "platform/x11/x11_backend.h"
#include "widgets/overlay_panel.h"

using namespace tuckshelf;

namespace {

QStringList argumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// The history emptied through the running copy, or in the stored file when
// none runs here.
int clearHistory() {
  if (x11SendToRunningCopy(RemoteCommand::clear) == RemoteOutcome::done) return 0;
  if (JsonSettingsStore(JsonSettingsStore::defaultPath()).trySetStringArray(kHistoryKey, {})) return 0;
  std::fprintf(stderr, "tuckshelf: could not write the stored history\n");
  return 1;
}

int quitRunningCopy() {
  if (x11SendToRunningCopy(RemoteCommand::quit) == RemoteOutcome::done) return 0;
  std::fprintf(stderr, "tuckshelf: no copy is running on this display\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine command = parseCommandLine(argumentsOf(argc, argv));
  switch (command.action) {
    case CommandLine::Action::help:
    case CommandLine::Action::version:
      std::fputs(command.text.toLocal8Bit().constData(), stdout);
      return 0;
    case CommandLine::Action::error:
      std::fputs(command.text.toLocal8Bit().constData(), stderr);
      return 2;
    case CommandLine::Action::clear:
      return clearHistory();
    case CommandLine::Action::quit:
      return quitRunningCopy();
    case CommandLine::Action::run:
      break;
  }

  // Qt aborts when it cannot reach the display; say so plainly instead.
  if (!x11DisplayReachable()) {
    std::fprintf(stderr, "tuckshelf: no X display to run on (DISPLAY=%s)\n",
                 qEnvironmentVariableIsEmpty("DISPLAY") ? "unset" : qgetenv("DISPLAY").constData());
    return 1;
  }
  // The program draws on X11 only; under Wayland it goes through Xwayland.
  prepareX11Platform();
  QApplication::setApplicationName(QStringLiteral("tuckshelf"));
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  const std::unique_ptr<Backend> backend = makeX11Services();
  static std::shared_ptr<AppDelegate> delegate = AppDelegate::create(PlatformServices{
      backend->clipboard(), backend->settings(), backend->displays(), backend->monitors(), backend->timers(),
      backend->instance(), backend->textMeasurer(), backend->hoverBands(),
      overlayPanelFactory(backend->windowShaper())});
  delegate->launch();
  // Quitting through the event loop lets the sanitizers report at exit.
  quitOnTerminationSignals();
  const int status = app.exec();
  delegate.reset();
  return status;
}
