#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tuckshelf {

struct ProcessEntry {
  std::int64_t pid = 0;
  // Shared by every copy of this program and by no other program; none
  // when it cannot be told.
  std::optional<std::string> identifier;
};

class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  virtual ProcessEntry self() = 0;
  // The running programs this user may signal.
  virtual std::vector<ProcessEntry> list() = 0;
  // Kills without asking and without waiting.
  virtual void kill(const ProcessEntry& app) = 0;
};

}  // namespace tuckshelf
