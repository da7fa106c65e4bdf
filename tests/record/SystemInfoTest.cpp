// What the record states of the machine (host name, wall clock) and the
// home folder the image picker starts in, against what the OS says
// through other means.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/linux/PosixSystemInfo.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {

TEST(PosixSystemInfo, HostNameIsTheKernelsNodeName) {
  const std::string proc = fileText("/proc/sys/kernel/hostname");
  if (proc.empty()) GTEST_SKIP() << "/proc/sys/kernel/hostname cannot be read here";
  EXPECT_EQ(PosixSystemInfo().hostName() + "\n", proc);
}

TEST(PosixSystemInfo, NowIsTheWallClock) {
  const auto before = std::chrono::system_clock::now();
  const auto now = PosixSystemInfo().now();
  EXPECT_LE(before, now);
  EXPECT_LE(now, std::chrono::system_clock::now()) << "a wall clock, not a tick";
}

// $HOME, or the password database's entry of the user when the program
// was started without one (HOME unset or empty). HOME is put back after.
TEST(PosixSystemInfo, HomeFolderIsTheVariableElseTheAccountsEntry) {
  const passwd* pw = ::getpwuid(::getuid());
  const std::string account = pw && pw->pw_dir ? pw->pw_dir : "";
  const char* old = std::getenv("HOME");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("HOME", "/srv/lab/operator", 1);
  EXPECT_EQ(PosixSystemInfo().homeFolder(), "/srv/lab/operator");
  for (const bool unset : {true, false}) {
    if (unset) ::unsetenv("HOME");
    else ::setenv("HOME", "", 1);
    if (!account.empty()) { EXPECT_EQ(PosixSystemInfo().homeFolder(), account) << (unset ? "unset" : "empty"); }
  }
  if (saved) ::setenv("HOME", saved->c_str(), 1);
  else ::unsetenv("HOME");
  if (account.empty()) GTEST_SKIP() << "the user running the tests has no password entry";
}

}  // namespace
}  // namespace mdi::test
