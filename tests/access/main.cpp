// The D-Bus connection of a broker needs a Qt application object; the tests
// run on the main thread as usual, the broker is asked from threads aside.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
