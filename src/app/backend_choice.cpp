#include "app/backend_choice.h"

#include <sstream>
#include <vector>

namespace tuckshelf {
namespace {

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> parts;
  std::stringstream stream(list);
  for (std::string part; std::getline(stream, part, ';');)
    if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string whyNotWayland(const CompositorOffer& offer) {
  if (!offer.reachable) return "cannot reach the Wayland compositor";
  return "the compositor offers no " + offer.missing;
}

std::string noX11(const BackendRequest& request) {
  return "no X display to run on (DISPLAY=" + (request.displayName.empty() ? "unset" : request.displayName) + ")";
}

}  // namespace

BackendChoice chooseBackend(const BackendRequest& request, const std::function<CompositorOffer()>& probeWayland,
                            const std::function<bool()>& x11Reachable) {
  if (request.platform) {
    std::string why = "no platform named";
    for (const std::string& platform : split(*request.platform)) {
      if (platform.rfind("wayland", 0) == 0) {
        const CompositorOffer offer = probeWayland();
        if (offer.reachable && offer.missing.empty()) return {BackendKind::wayland, {}};
        why = whyNotWayland(offer) + "; cannot run on Wayland";
      } else if (platform == "xcb") {
        if (x11Reachable()) return {BackendKind::x11, {}};
        why = noX11(request);
      } else {
        why = "runs on the Qt platforms wayland and xcb, not " + platform;
      }
    }
    return {std::nullopt, why};
  }

  std::string note;
  if (request.waylandDisplaySet) {
    const CompositorOffer offer = probeWayland();
    if (offer.reachable && offer.missing.empty()) return {BackendKind::wayland, {}};
    note = whyNotWayland(offer);
  }
  if (!x11Reachable()) return {std::nullopt, note.empty() ? noX11(request) : note + ", and " + noX11(request)};
  return {BackendKind::x11, note.empty() ? std::string() : note + "; running on X11"};
}

}  // namespace tuckshelf
