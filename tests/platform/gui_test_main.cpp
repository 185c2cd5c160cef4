// GUI tests need a QApplication before the first widget, so their programs
// link this main instead of gtest_main's.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef VELMORA_LSAN_SUPPRESSIONS
// The leak checker reads its options before main; the project's suppressions
// for system libraries are named here too, so they apply however the test runs.
extern "C" const char* __lsan_default_options() {
  return "suppressions=" VELMORA_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
  // Listing the tests (CTest does it before each run) needs no window system.
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
  // Without a platform named, run offscreen rather than on whatever display is there.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::unique_ptr<QApplication> application;
  if (!listing) application = std::make_unique<QApplication>(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
