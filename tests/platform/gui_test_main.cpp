// GUI tests need a QApplication before the first widget, so these test
// programs bring their own main instead of gtest_main's.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Test discovery runs the program without the test environment: offscreen then too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
