#pragma once

#include "platform/clipboard.h"
#include "platform/displays.h"
#include "platform/input_monitors.h"
#include "platform/instance_guard.h"
#include "platform/pointer_events.h"
#include "platform/settings_store.h"
#include "platform/text_measurer.h"
#include "platform/timers.h"
#include "platform/window_shaper.h"

namespace tuckshelf {

// One window system's whole set of services, built by that backend's
// factory and alive as long as this object. Create it after the
// application object, on the GUI thread.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual Clipboard& clipboard() = 0;
  virtual SettingsStore& settings() = 0;
  virtual Displays& displays() = 0;
  virtual InputMonitors& monitors() = 0;
  virtual Timers& timers() = 0;
  virtual InstanceGuard& instance() = 0;
  virtual TextMeasurer& textMeasurer() = 0;
  virtual HoverBands& hoverBands() = 0;
  virtual WindowShaper& windowShaper() = 0;
};

}  // namespace tuckshelf
