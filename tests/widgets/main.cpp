#include <gtest/gtest.h>

#include <QApplication>

// Widget tests run under Qt's offscreen platform (set by ctest).
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
