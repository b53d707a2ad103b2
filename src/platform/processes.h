#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tuckshelf {

struct RunningApp {
  std::int64_t pid = 0;
  // Shared by every copy of this program and by no other program; none
  // when it cannot be told.
  std::optional<std::string> identifier;
};

class Processes {
 public:
  virtual ~Processes() = default;
  virtual RunningApp currentApplication() = 0;
  // The running programs this user may signal.
  virtual std::vector<RunningApp> runningApplications() = 0;
  // Kills without asking and without waiting.
  virtual void forceTerminate(const RunningApp& app) = 0;
};

}  // namespace tuckshelf
