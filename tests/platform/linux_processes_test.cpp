#include "platform/linux/linux_process_table.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace tuckshelf {
namespace {

std::string canonical(const QString& path) {
  return std::filesystem::canonical(QFile::encodeName(path).toStdString()).string();
}

std::optional<ProcessEntry> findPid(const std::vector<ProcessEntry>& apps, qint64 pid) {
  for (const ProcessEntry& app : apps) {
    if (app.pid == pid) return app;
  }
  return std::nullopt;
}

// The signal that ended `process`, waited for with a deadline; 0 when it
// exited normally or is still running.
int deathSignal(QProcess& process) {
  if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::CrashExit) return 0;
  return process.exitCode();  // the signal number, for a crash
}

// Sends SIGTERM and reports what `process` died of: SIGTERM if nothing
// else had been sent to it before.
int terminateAndReport(QProcess& process) {
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  return deathSignal(process);
}

// Long-running processes of /bin/sleep and of copies of it; QProcess kills
// whatever is left when the test ends.
class LinuxProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sleeperPath = dir.filePath("tuckshelf-test-sleeper");
    ASSERT_TRUE(QFile::copy("/bin/sleep", sleeperPath));
    ASSERT_TRUE(QFile::setPermissions(sleeperPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

  void TearDown() override {
    for (const auto& process : processes) {
      process->kill();
      process->waitForFinished(10000);
    }
  }

  QProcess& start(const QString& program) {
    processes.push_back(std::make_unique<QProcess>());
    QProcess& process = *processes.back();
    process.start(program, {"600"});
    EXPECT_TRUE(process.waitForStarted(10000)) << program.toStdString();
    return process;
  }

  ProcessEntry listed(const QProcess& process) {
    const std::optional<ProcessEntry> app = findPid(LinuxProcessTable().list(), process.processId());
    EXPECT_TRUE(app) << "pid " << process.processId() << " not listed";
    return app.value_or(ProcessEntry{});
  }

  QTemporaryDir dir;
  QString sleeperPath;
  std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(LinuxProcessesTest, CopiesOfOneExecutableShareAnIdentifierOthersLack) {
  QProcess& first = start(sleeperPath);
  QProcess& second = start(sleeperPath);
  QProcess& other = start("/bin/sleep");

  const ProcessEntry firstApp = listed(first);
  EXPECT_EQ(firstApp.identifier, canonical(sleeperPath));
  EXPECT_EQ(listed(second).identifier, firstApp.identifier);
  // /bin is a symlink on merged-/usr systems: identifiers are canonical.
  EXPECT_EQ(listed(other).identifier, canonical("/bin/sleep"));
  EXPECT_NE(listed(other).identifier, firstApp.identifier);
}

TEST_F(LinuxProcessesTest, CurrentApplicationIsThisProcessAndIsListed) {
  const ProcessEntry current = LinuxProcessTable().self();
  EXPECT_EQ(current.pid, ::getpid());
  EXPECT_EQ(current.identifier, canonical(QCoreApplication::applicationFilePath()));
  const std::optional<ProcessEntry> listedSelf = findPid(LinuxProcessTable().list(), ::getpid());
  ASSERT_TRUE(listedSelf);
  EXPECT_EQ(listedSelf->identifier, current.identifier);
}

TEST_F(LinuxProcessesTest, DeletedExecutableStillMatchesItsPath) {
  QProcess& orphan = start(sleeperPath);
  const std::string path = canonical(sleeperPath);
  ASSERT_TRUE(QFile::remove(sleeperPath));
  const ProcessEntry app = listed(orphan);
  EXPECT_EQ(app.identifier, path);

  LinuxProcessTable().kill(app);
  EXPECT_EQ(deathSignal(orphan), SIGKILL);
}

TEST_F(LinuxProcessesTest, ForceTerminateKillsTheNamedCopyOnly) {
  QProcess& target = start(sleeperPath);
  QProcess& sibling = start(sleeperPath);
  QProcess& other = start("/bin/sleep");

  LinuxProcessTable().kill(listed(target));
  EXPECT_EQ(deathSignal(target), SIGKILL);
  EXPECT_EQ(terminateAndReport(sibling), SIGTERM);
  EXPECT_EQ(terminateAndReport(other), SIGTERM);
}

TEST_F(LinuxProcessesTest, ForceTerminateRefusesWhatItCannotVerify) {
  QProcess& other = start("/bin/sleep");
  const qint64 pid = other.processId();
  LinuxProcessTable processes;
  // The pid of another program, as if reused since the listing.
  processes.kill({pid, canonical(sleeperPath)});
  processes.kill({pid, std::nullopt});
  EXPECT_EQ(terminateAndReport(other), SIGTERM);

  // A pid that has died since: nothing to do, nothing to crash on.
  processes.kill({pid, canonical("/bin/sleep")});
}

TEST_F(LinuxProcessesTest, ForceTerminateSparesThisProcess) {
  LinuxProcessTable processes;
  processes.kill(processes.self());
  SUCCEED() << "still running";
}

}  // namespace
}  // namespace tuckshelf
