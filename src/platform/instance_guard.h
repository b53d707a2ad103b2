#pragma once

#include <functional>

namespace tuckshelf {

// One running copy of the program per display.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  // Becomes the running copy on this display. An earlier copy there is
  // asked to quit and given two seconds before it is ended; copies on
  // other displays are left alone.
  virtual void claim() = 0;
  // What a later copy, or the command line, asks of the running one: to
  // quit (`quitting` runs first, then the event loop ends), to empty the
  // history, or to open the list for the keyboard.
  struct Handlers {
    std::function<void()> quitting;
    std::function<void()> clear;
    std::function<void()> open;
  };
  virtual void setHandlers(Handlers handlers) = 0;
};

// What the command line can ask of the copy running on this display.
enum class RemoteCommand { quit, clear, open };
enum class RemoteOutcome { done, noRunningCopy };

}  // namespace tuckshelf
