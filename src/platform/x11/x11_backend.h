#pragma once

#include <memory>

#include "platform/backend.h"

namespace tuckshelf {

// Whether the X server that $DISPLAY names accepts a connection.
bool x11DisplayReachable();

// Sets up Qt for this backend; call before the application object exists.
void prepareX11Platform();

// The X11 backend: the CLIPBOARD selection and XInput key events over one
// connection of the program's own, the panel shaped on Qt's connection,
// and the Qt and Linux services every backend shares. Runs the event
// loop for up to a second so that the clipboard's current contents are in.
std::unique_ptr<Backend> makeX11Services();

// Sends a command-line request to the copy running on $DISPLAY.
RemoteOutcome x11SendToRunningCopy(RemoteCommand command);

}  // namespace tuckshelf
