#include "platform/linux/linux_process_table.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <QtGlobal>

namespace tuckshelf {
namespace {

// Raw system calls: glibc 2.36's <sys/pidfd.h> declares its wrappers
// without C linkage, so C++ cannot link against them.
int openPidfd(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int killThroughPidfd(int pidfd) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0));
}

struct OwnedFd {
  int fd;
  ~OwnedFd() {
    if (fd >= 0) close(fd);
  }
};

// Readable for every process, unlike the exe link of another user's.
std::optional<uid_t> realUid(const std::string& procEntry) {
  std::ifstream status(procEntry + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (!line.starts_with("Uid:")) continue;
    std::istringstream fields(line.substr(4));
    unsigned long uid = 0;
    if (fields >> uid) return static_cast<uid_t>(uid);
    return std::nullopt;
  }
  return std::nullopt;
}

// The kernel gives the executable's canonical path, with " (deleted)"
// appended once the file was removed or replaced by a rebuild.
std::optional<std::string> executableIdentity(const std::string& procEntry) {
  std::error_code error;
  std::string path = std::filesystem::read_symlink(procEntry + "/exe", error).string();
  if (error || path.empty()) return std::nullopt;
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  return path;
}

}  // namespace

ProcessEntry LinuxProcessTable::self() {
  return {getpid(), executableIdentity("/proc/self")};
}

void LinuxProcessTable::kill(const ProcessEntry& app) {
  if (!app.identifier || app.pid <= 1 || app.pid == getpid() ||
      app.pid > std::numeric_limits<pid_t>::max()) {
    return;
  }
  const auto pid = static_cast<pid_t>(app.pid);
  const OwnedFd pidfd{openPidfd(pid)};
  if (pidfd.fd < 0) {
    // A plain kill() could hit a reused pid: no pidfd, no kill.
    if (errno == ENOSYS) qWarning("tuckshelf: this kernel has no pidfd_open; pid %d left running", pid);
    return;
  }
  // The pidfd pins the process: if the pid was reused before it was opened,
  // these checks see the newcomer; if after, the signal fails harmlessly.
  const std::string entry = "/proc/" + std::to_string(pid);
  if (realUid(entry) != getuid() || executableIdentity(entry) != app.identifier) return;
  killThroughPidfd(pidfd.fd);
}

}  // namespace tuckshelf
