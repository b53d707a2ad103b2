#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

namespace tuckshelf {

struct KeyDown {
  bool ctrl = false;   // Control held
  bool shift = false;  // Shift held
  // The key's characters with the effect of Shift and no other modifier.
  std::optional<QString> shiftedText;
  // The Insert key, which types nothing (Shift+Insert pastes).
  bool insert = false;
};

// Keeps a monitor installed while held; null when installation failed.
using MonitorToken = std::shared_ptr<void>;

class InputMonitors {
 public:
  virtual ~InputMonitors() = default;
  // Key-downs in every program.
  virtual MonitorToken addGlobalKeyDownMonitor(std::function<void(const KeyDown&)> handler) = 0;
  // Key-downs delivered to this program's own windows.
  virtual MonitorToken addLocalKeyDownMonitor(std::function<void(const KeyDown&)> handler) = 0;
};

}  // namespace tuckshelf
