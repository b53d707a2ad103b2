#include <malloc.h>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QTimer>

#include "app/app_delegate.h"
#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/quit_on_signal.h"
#include "history/history_list.h"
#include "platform/linux/json_settings_store.h"
#include "platform/wayland/wayland_backend.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/x11/x11_backend.h"
#include "portal/portal_shortcut.h"
#include "service/dbus_service.h"
#include "widgets/overlay_panel.h"

using namespace tuckshelf;

namespace {

// The name of the program's desktop entry, by which the desktop portal
// knows it.
constexpr const char* kAppId = "io.github.tuckshelf.Tuckshelf";

QStringList argumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// The Qt platform named on the command line (-platform NAME), if any.
std::optional<std::string> platformArgument(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-platform" || arg == "--platform") return std::string(argv[i + 1]);
  }
  return std::nullopt;
}

BackendChoice chooseBackend(int argc, char** argv) {
  BackendRequest request;
  request.platform = platformArgument(argc, argv);
  if (!request.platform && !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    request.platform = qgetenv("QT_QPA_PLATFORM").toStdString();
  request.waylandDisplaySet = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  request.displayName = qgetenv("DISPLAY").toStdString();
  return chooseBackend(
      request,
      [] {
        const WaylandProtocols offered = probeWaylandCompositor();
        return CompositorOffer{offered.reachable, offered.firstMissing()};
      },
      x11DisplayReachable);
}

RemoteOutcome sendToRunningCopy(const BackendChoice& choice, RemoteCommand command) {
  if (!choice.kind) return RemoteOutcome::noRunningCopy;
  return *choice.kind == BackendKind::wayland ? waylandSendToRunningCopy(command) : x11SendToRunningCopy(command);
}

// The history emptied through the running copy, or in the stored file when
// none runs here.
int clearHistory(const BackendChoice& choice) {
  if (sendToRunningCopy(choice, RemoteCommand::clear) == RemoteOutcome::done) return 0;
  if (JsonSettingsStore(JsonSettingsStore::defaultPath()).trySetStringArray(kHistoryKey, {})) return 0;
  std::fprintf(stderr, "tuckshelf: could not write the stored history\n");
  return 1;
}

int quitRunningCopy(const BackendChoice& choice) {
  if (sendToRunningCopy(choice, RemoteCommand::quit) == RemoteOutcome::done) return 0;
  std::fprintf(stderr, "tuckshelf: no copy is running on this display\n");
  return 1;
}

int openRunningCopy(const BackendChoice& choice) {
  if (sendToRunningCopy(choice, RemoteCommand::open) == RemoteOutcome::done) return 0;
  std::fprintf(stderr, "tuckshelf: no copy is running on this display\n");
  return 1;
}

bool onGnome() {
  return qgetenv("XDG_CURRENT_DESKTOP").toLower().split(':').contains("gnome");
}

// On GNOME the Shell extension draws the shelf, inside the Shell; a few
// seconds after start, long enough for an enabled one to have attached, the
// program says how to get it, once.
void suggestTheShellExtension(const DBusService& service) {
  QTimer::singleShot(3000, &service, [&service] {
    if (!service.attached())
      std::fputs("tuckshelf: on GNOME the shelf is best drawn by the Shell: gnome-extensions enable "
                 "tuckshelf@tuckshelf.github.io, then log out and in; until then it runs as an X11 program\n",
                 stderr);
  });
}

std::unique_ptr<Backend> makeServices(BackendKind kind) {
  return kind == BackendKind::wayland ? makeWaylandServices() : makeX11Services();
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
      return clearHistory(chooseBackend(argc, argv));
    case CommandLine::Action::quit:
      return quitRunningCopy(chooseBackend(argc, argv));
    case CommandLine::Action::open:
      return openRunningCopy(chooseBackend(argc, argv));
    case CommandLine::Action::run:
      break;
  }

  // Large blocks are the clips and their transfers, which come and go:
  // each is mapped on its own and goes back to the system when freed.
  // glibc would otherwise raise this threshold as large blocks are freed and
  // keep the pages of outgrown transfers in its heap.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);

  // Qt aborts when it cannot reach the display; say so plainly instead.
  const BackendChoice choice = chooseBackend(argc, argv);
  if (!choice.note.empty()) std::fprintf(stderr, "tuckshelf: %s\n", choice.note.c_str());
  if (!choice.kind) return 1;
  if (*choice.kind == BackendKind::wayland)
    prepareWaylandPlatform();
  else
    prepareX11Platform();
  // Qt asks the desktop portal for its services at start-up and leaves the
  // question's watcher behind if the answer comes after exit; the program
  // uses none of them.
  if (qEnvironmentVariableIsEmpty("QT_NO_XDG_DESKTOP_PORTAL")) qputenv("QT_NO_XDG_DESKTOP_PORTAL", "1");
  // A fractional scale factor such as 1.5 is drawn as it is, sharp, not
  // rounded up to 2 (Qt 6's default; QT_SCALE_FACTOR_ROUNDING_POLICY still
  // overrides it).
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication::setApplicationName(QStringLiteral("tuckshelf"));
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  const std::unique_ptr<Backend> backend = makeServices(*choice.kind);
  if (!backend) return 1;
  static std::shared_ptr<AppDelegate> delegate = AppDelegate::create(PlatformServices{
      backend->clipboard(), backend->settings(), backend->displays(), backend->monitors(), backend->timers(),
      backend->instance(), backend->textMeasurer(), backend->hoverBands(),
      overlayPanelFactory(backend->windowShaper())});
  delegate->launch();
  auto service = std::make_unique<DBusService>(*delegate, [] {
    delegate->persistHistory();
    QCoreApplication::quit();
  });
  // The portal's shortcut goes to the copy that holds the name on the bus:
  // two copies sharing a bus would otherwise both answer it.
  std::unique_ptr<PortalShortcut> shortcut;
  if (service->publish()) {
    shortcut = std::make_unique<PortalShortcut>(QDBusConnection::sessionBus(), QString::fromLatin1(kAppId),
                                                [] { delegate->openFromKeyboard(); });
    shortcut->start();
  }
  if (*choice.kind == BackendKind::x11 && onGnome()) suggestTheShellExtension(*service);
  // Quitting through the event loop lets the sanitizers report at exit.
  quitOnTerminationSignals();
  const int status = app.exec();
  shortcut.reset();
  service.reset();
  delegate.reset();
  return status;
}
