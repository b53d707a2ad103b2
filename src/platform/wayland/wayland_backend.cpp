#include "platform/wayland/wayland_backend.h"

#include <cstdio>

#include "platform/linux/json_settings_store.h"
#include "platform/linux/linux_process_table.h"
#include "platform/linux/lock_file_instance_guard.h"
#include "platform/qt/qt_text_measurer.h"
#include "platform/qt/qt_timers.h"
#include "platform/wayland/wayland_clipboard.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_displays.h"
#include "platform/wayland/wayland_hover_bands.h"
#include "platform/wayland/wayland_qt_globals.h"
#include "platform/wayland/wayland_window_shaper.h"

namespace tuckshelf {
namespace {

// Wayland lets no program watch keys typed into others, and the panel
// never has the keyboard: no key monitor can be installed. A paste shows
// as a request for the content this program serves.
class NoKeyMonitors final : public InputMonitors {
 public:
  MonitorToken addGlobalKeyDownMonitor(std::function<void(const KeyDown&)>) override { return nullptr; }
  MonitorToken addLocalKeyDownMonitor(std::function<void(const KeyDown&)>) override { return nullptr; }
};

QString sessionName() { return qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")); }

class WaylandBackend final : public Backend {
 public:
  explicit WaylandBackend(std::unique_ptr<WaylandQtGlobals> globals)
      : globals_(std::move(globals)),
        instance_(sessionName(), processTable_),
        clipboard_(connection_),
        settings_(JsonSettingsStore::defaultPath()),
        measurer_(fontFor(OverlayFont{})),
        shaper_(*globals_, connection_),
        bands_(*globals_),
        displays_(bands_) {
    // The launch captures what is on the clipboard now; give its source a
    // moment to hand it over.
    clipboard_.waitForInitialContents(1000);
  }

  Clipboard& clipboard() override { return clipboard_; }
  SettingsStore& settings() override { return settings_; }
  Displays& displays() override { return displays_; }
  InputMonitors& monitors() override { return monitors_; }
  Timers& timers() override { return timers_; }
  InstanceGuard& instance() override { return instance_; }
  TextMeasurer& textMeasurer() override { return measurer_; }
  HoverBands& hoverBands() override { return bands_; }
  WindowShaper& windowShaper() override { return shaper_; }

 private:
  std::unique_ptr<WaylandQtGlobals> globals_;
  LinuxProcessTable processTable_;
  LockFileInstanceGuard instance_;
  WaylandConnection connection_;
  WaylandClipboard clipboard_;
  JsonSettingsStore settings_;
  NoKeyMonitors monitors_;
  QtTimers timers_;
  QtTextMeasurer measurer_;
  WaylandWindowShaper shaper_;
  WaylandHoverBands bands_;
  WaylandDisplays displays_;
};

}  // namespace

void prepareWaylandPlatform() {
  qputenv("QT_QPA_PLATFORM", "wayland");
  // Windows with this hint get no shell role from Qt: the panel and the
  // bands take the layer-shell role instead.
  qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
  qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
  // Qt otherwise puts every window at its output's corner, since Wayland
  // tells no client where its windows are: the panel's place is the one
  // this program gives its layer surface, and pointer positions follow it.
  qputenv("QT_WAYLAND_DISABLE_FIXED_POSITIONS", "1");
}

std::unique_ptr<Backend> makeWaylandServices() {
  std::unique_ptr<WaylandQtGlobals> globals = WaylandQtGlobals::bind();
  if (!globals) {
    std::fprintf(stderr, "tuckshelf: the compositor offers no layer-shell (zwlr_layer_shell_v1)\n");
    return nullptr;
  }
  return std::make_unique<WaylandBackend>(std::move(globals));
}

RemoteOutcome waylandSendToRunningCopy(RemoteCommand command) {
  return LockFileInstanceGuard::send(sessionName(), command);
}

}  // namespace tuckshelf
