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
#include "platform/x11/x11_window_shaper.h"

namespace tuckshelf {
namespace {

class X11Backend final : public Backend {
 public:
  X11Backend()
      : connection_(std::make_shared<X11Connection>()),
        clipboard_(connection_),
        settings_(JsonSettingsStore::defaultPath()),
        monitors_(connection_),
        measurer_(fontFor(OverlayFont{})) {
    // The launch captures what is on the clipboard now; give its owner a
    // moment to hand it over.
    clipboard_.waitForInitialContents(1000);
  }

  Clipboard& clipboard() override { return clipboard_; }
  SettingsStore& settings() override { return settings_; }
  Displays& displays() override { return displays_; }
  InputMonitors& monitors() override { return monitors_; }
  Timers& timers() override { return timers_; }
  ProcessTable& processTable() override { return processTable_; }
  TextMeasurer& textMeasurer() override { return measurer_; }
  HoverBands& hoverBands() override { return bands_; }
  WindowShaper& windowShaper() override { return shaper_; }

 private:
  std::shared_ptr<X11Connection> connection_;
  X11Clipboard clipboard_;
  JsonSettingsStore settings_;
  QtDisplays displays_;
  X11InputMonitors monitors_;
  QtTimers timers_;
  LinuxProcessTable processTable_;
  QtTextMeasurer measurer_;
  X11WindowShaper shaper_;
  X11HoverBands bands_;
};

}  // namespace

bool x11DisplayReachable() { return X11Connection::reachable(); }

std::unique_ptr<Backend> makeX11Services() { return std::make_unique<X11Backend>(); }

}  // namespace tuckshelf
