#pragma once

#include <vector>

#include "platform/process_table.h"

namespace tuckshelf {

// Processes from /proc. A program is identified by the canonical path of
// its executable, so every copy started from the same file shares an
// identifier, including one whose file was since deleted or replaced by a
// rebuild. Only processes whose real uid is this user's are ever
// signalled.
class LinuxProcessTable : public ProcessTable {
 public:
  ProcessEntry self() override;
  // Sends SIGKILL through a pidfd, and only after checking, with the pidfd
  // held, that the pid still belongs to this user and to the program
  // `app.identifier` names: a pid reused meanwhile is left alone. Never
  // kills pid 1 or below, nor this process, nor an app without identifier.
  void kill(const ProcessEntry& app) override;
};

}  // namespace tuckshelf
