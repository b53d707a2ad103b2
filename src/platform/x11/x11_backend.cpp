#include "platform/x11/x11_backend.h"

#include "platform/linux/json_settings_store.h"
#include "platform/linux/linux_process_table.h"
#include "platform/qt/qt_displays.h"
#include "platform/qt/qt_text_measurer.h"
#include "platform/qt/qt_timers.h"
#include "platform/x11/x11_clipboard.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_hover_bands.h"
#include "platform/x11/x11_input_monitors.h"
#include "platform/x11/x11_instance_guard.h"
#include "platform/x11/x11_window_shaper.h"

namespace tuckshelf {
namespace {

class X11Backend final : public Backend {
 public:
  X11Backend()
      : connection_(std::make_shared<X11Connection>()),
        instance_(connection_, processTable_, [this] { clipboard_.becomeClipboardManager(); }),
        clipboard_(connection_),
        settings_(JsonSettingsStore::defaultPath()),
        monitors_(connection_),
        measurer_(fontFor(OverlayFont{})) {
    // The launch captures what is on the clipboard now; give its owner a
    // moment to hand it over.
    clipboard_.waitForInitialContents(1000);
  }

  // A clean quit: what this program serves is handed to the session's
  // clipboard manager, if another program is one.
  ~X11Backend() override { clipboard_.handOverToManager(1000); }

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
  // Destroyed in reverse: the clipboard gives up managing before the
  // instance window goes (a later copy then takes both over), and the
  // connection, which still owns what this program put on the clipboard,
  // closes last.
  std::shared_ptr<X11Connection> connection_;
  LinuxProcessTable processTable_;
  X11InstanceGuard instance_;
  X11Clipboard clipboard_;
  JsonSettingsStore settings_;
  QtDisplays displays_;
  X11InputMonitors monitors_;
  QtTimers timers_;
  QtTextMeasurer measurer_;
  X11WindowShaper shaper_;
  X11HoverBands bands_;
};

}  // namespace

bool x11DisplayReachable() { return X11Connection::reachable(); }

void prepareX11Platform() {
  qputenv("QT_QPA_PLATFORM", "xcb");
  // Core pointer events, not XInput 2: only they offer motion hints, which
  // pace a fast mouse over the panel to the frame rate (X11MotionPacer).
  // The panel needs nothing that XInput 2 adds (touch, smooth scrolling).
  qputenv("QT_XCB_NO_XI2", "1");
}

std::unique_ptr<Backend> makeX11Services() { return std::make_unique<X11Backend>(); }

RemoteOutcome x11SendToRunningCopy(RemoteCommand command) { return X11InstanceGuard::send(command); }

}  // namespace tuckshelf
