#include <gtest/gtest.h>

#include <QApplication>

// The platform tests run against a real X server (tests/support/with_xvfb.sh).
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
