#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <optional>

// Widget tests run under Qt's offscreen platform unless told otherwise;
// platform tests on the X server of tests/support/with_xvfb.sh.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_NO_XDG_DESKTOP_PORTAL", "1");  // as the program does
  // A runtime folder of the run's own, as a session has: without one Qt
  // makes /tmp/runtime-USER, which outlives the tests. Death tests run
  // this again in a child that inherits it and leaves through exit().
  std::optional<QTemporaryDir> runtime;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.emplace().isValid()) {
    QFile::setPermissions(runtime->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
