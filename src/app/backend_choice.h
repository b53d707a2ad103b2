#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tuckshelf {

enum class BackendKind { x11, wayland };

// What the Wayland compositor offers: reachable or not, and the first
// protocol the program needs that it lacks (empty when none).
struct CompositorOffer {
  bool reachable = false;
  std::string missing;
};

struct BackendRequest {
  // The Qt platform the user chose ($QT_QPA_PLATFORM or -platform), which
  // may list several, separated by ';', the first that works winning.
  std::optional<std::string> platform;
  bool waylandDisplaySet = false;
  std::string displayName;  // $DISPLAY, for the message when none is reachable
};

// The backend to run on, and one line to print (without the program's
// name): why it is not the native one, or, with no backend, why the
// program cannot run.
struct BackendChoice {
  std::optional<BackendKind> kind;
  std::string note;
};

// Native Wayland where the user's session is Wayland and the compositor
// offers layer-shell and data-control, else X11 (through Xwayland where
// that is how the desktop serves X programs); a platform the user names
// is taken as given. The probes run only when needed.
BackendChoice chooseBackend(const BackendRequest& request, const std::function<CompositorOffer()>& probeWayland,
                            const std::function<bool()>& x11Reachable);

}  // namespace tuckshelf
