// Window tests on a private Xvfb through the xcb platform. Without Xvfb the
// tests still run, each skipping with the reason.
#include <gtest/gtest.h>
#include <QApplication>

#include <cstring>

#include "tests/xvfb/XServer.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  mdi::XServer x;
  if (listing) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else {
    x = mdi::startXvfb();
    if (x.display.empty()) {
      mdi::xSkipReason() = x.failure;
      qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
      qputenv("DISPLAY", x.display.c_str());
      qputenv("QT_QPA_PLATFORM", "xcb");
    }
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    rc = RUN_ALL_TESTS();
  }
  mdi::stopXvfb(x);
  return rc;
}
