#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/linux/SgTransport.h"

namespace mdi {
namespace {

TEST(SgTransport, MissingNodeFailsWithEnoent) {
  errno = 0;
  EXPECT_EQ(openSgTransport("/nonexistent/sg-node-for-test"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST(SgTransport, RegularFileIsNotAPassThroughDevice) {
  char path[] = "/tmp/sgtransport-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  errno = 0;
  EXPECT_EQ(openSgTransport(path), nullptr);
  EXPECT_EQ(errno, ENOTTY);
  ::unlink(path);
}

}  // namespace
}  // namespace mdi
