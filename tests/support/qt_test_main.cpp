#include <gtest/gtest.h>

#include <QApplication>

// Widget tests run under Qt's offscreen platform unless told otherwise;
// platform tests on the X server of tests/support/with_xvfb.sh.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_NO_XDG_DESKTOP_PORTAL", "1");  // as the program does
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
