#include <gtest/gtest.h>

#include <filesystem>

#include <QProcess>
#include <QStandardPaths>

#include "platform/linux/linux_process_table.h"

namespace tuckshelf {
namespace {

// Ending an earlier copy that would not quit must never hit anything else:
// another program, this process, or init.
TEST(LinuxProcessTable, EndsOnlyTheProgramItIsToldOf) {
  LinuxProcessTable table;
  const ProcessEntry me = table.self();
  ASSERT_TRUE(me.identifier);
  const QString sleepPath = QStandardPaths::findExecutable(QStringLiteral("sleep"));
  QProcess other;
  other.start(sleepPath, {QStringLiteral("30")});
  ASSERT_TRUE(other.waitForStarted());

  for (const ProcessEntry& wrong : {ProcessEntry{other.processId(), me.identifier}, me, ProcessEntry{1, me.identifier},
                                    ProcessEntry{other.processId(), std::nullopt}})
    table.kill(wrong);
  EXPECT_FALSE(other.waitForFinished(200)) << "a process not of the program named was ended";

  table.kill({other.processId(), std::filesystem::canonical(sleepPath.toStdString()).string()});
  ASSERT_TRUE(other.waitForFinished(5000));
  EXPECT_EQ(other.exitStatus(), QProcess::CrashExit);
}

}  // namespace
}  // namespace tuckshelf
