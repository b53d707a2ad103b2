#pragma once

#include <memory>

#include "platform/backend.h"

namespace tuckshelf {

// Whether the X server that $DISPLAY names accepts a connection.
bool x11DisplayReachable();

// The X11 backend: the CLIPBOARD selection and XInput key events over one
// connection of the program's own, the panel shaped on Qt's connection,
// and the Qt and Linux services every backend shares. Runs the event
// loop for up to a second so that the clipboard's current contents are in.
std::unique_ptr<Backend> makeX11Services();

}  // namespace tuckshelf
