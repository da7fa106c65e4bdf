// Window tests on an X server of their own through the xcb platform:
// tests/xvfb/private-x.sh starts it around the binary (ctest runs the binary
// through it) and says so in MDI_PRIVATE_X. Run any other way, the binary
// never touches the desktop's display: the tests skip with the reason.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/xvfb/Screen.h"

namespace mdi {

std::string& xSkipReason() {
  static std::string reason;
  return reason;
}

}  // namespace mdi

int main(int argc, char** argv) {
  if (std::getenv("MDI_PRIVATE_X")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    mdi::xSkipReason() = "no X server of its own (run through tests/xvfb/private-x.sh; apt-get install xvfb xauth)";
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
