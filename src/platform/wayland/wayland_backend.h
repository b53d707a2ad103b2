#pragma once

#include <memory>

#include "platform/backend.h"
#include "platform/instance_guard.h"

namespace tuckshelf {

// Sets up Qt for this backend; call before the application object exists.
void prepareWaylandPlatform();

// The Wayland backend: the panel and the bands as layer-shell surfaces on
// Qt's connection, the clipboard through data-control on a connection of
// the program's own, and the Qt and Linux services every backend shares.
// Null, with one line on stderr, when the compositor lacks what it needs.
std::unique_ptr<Backend> makeWaylandServices();

// Sends a command-line request to the copy running in this Wayland session.
RemoteOutcome waylandSendToRunningCopy(RemoteCommand command);

}  // namespace tuckshelf
