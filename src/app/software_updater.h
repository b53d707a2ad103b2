#pragma once

namespace tuckshelf {

// Updates come from the system's package manager, so the updater that
// lives for the program's lifetime has nothing to do.
class SoftwareUpdater {
 public:
  explicit SoftwareUpdater(bool startingUpdater) : started_(startingUpdater) {}
  bool started() const { return started_; }

 private:
  bool started_;
};

}  // namespace tuckshelf
