#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

struct wl_output;
struct zxdg_output_manager_v1;

namespace tuckshelf {

class WaylandConnection;

// The outputs of this program's own connection by name, the name Qt gives
// its screens: wl_output's own from version 4, xdg-output's before.
// Names arrive with the compositor's answer, not at once.
class WaylandOutputNames {
 public:
  // `connection` must outlive the names.
  explicit WaylandOutputNames(WaylandConnection& connection);
  ~WaylandOutputNames();
  WaylandOutputNames(const WaylandOutputNames&) = delete;
  WaylandOutputNames& operator=(const WaylandOutputNames&) = delete;

  // The output called `name`, or null while none is known by it.
  wl_output* find(const QString& name) const;
  // Binds the outputs that came since, and lets go of those that went.
  void refresh();

  struct Output;  // one bound output, with its name once known

 private:
  WaylandConnection& connection_;
  zxdg_output_manager_v1* xdgOutputs_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
};

}  // namespace tuckshelf
