#pragma once

namespace tuckshelf {

// Lets SIGTERM and SIGINT end the event loop instead of the process, so that
// main() returns normally: destructors run and LeakSanitizer reports at exit.
// Call right before QApplication::exec(): QCoreApplication::quit() does
// nothing before the loop runs, so a signal must not be served earlier.
// Returns false if the signals could not be routed (they then stay fatal).
bool quitOnTerminationSignals();

}  // namespace tuckshelf
