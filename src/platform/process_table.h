#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tuckshelf {

struct ProcessEntry {
  std::int64_t pid = 0;
  // Shared by every copy of this program and by no other program; none
  // when it cannot be told.
  std::optional<std::string> identifier;
};

// The processes the program may end: only ever another copy of itself
// that did not quit when asked.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  virtual ProcessEntry self() = 0;
  // Kills without asking and without waiting.
  virtual void kill(const ProcessEntry& app) = 0;
};

}  // namespace tuckshelf
