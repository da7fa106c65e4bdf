// Atomic small-file writes on real files, and on a tmpfs that is full
// (root only).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "platform/linux/PosixAtomicFile.h"
#include "tests/SmallTmpfs.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

// Every name under root, hidden ones included, relative to root.
std::set<std::string> listing(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) names.insert(fs::relative(e.path(), root).string());
  return names;
}

void put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

struct RealCase {
  std::string name;
  std::vector<std::string> existing;  // made first: a folder when ending in '/', else a file holding "old"
  std::string target;                 // relative to the folder
  std::size_t size;                   // bytes of new contents
  int error;                          // expected result
  std::set<std::string> after;
};

class AtomicFileReal : public TempDirTestP<RealCase> {};

// The new file whole (mode 0644 under the umask), or nothing new and what
// was there untouched.
TEST_P(AtomicFileReal, LeavesTheNewFileOrNothingNew) {
  const auto& c = GetParam();
  for (const std::string& e : c.existing) {
    if (e.ends_with('/')) fs::create_directory(dir / e);
    else put(dir / e, "old");
  }
  const auto bytes = patternBytes(c.size, 3);
  const std::string contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  PosixAtomicFile files;
  const mode_t oldMask = ::umask(022);
  EXPECT_EQ(files.write((dir / c.target).string(), contents), c.error) << std::strerror(c.error);
  ::umask(oldMask);
  EXPECT_EQ(listing(dir), c.after) << "no temporary is left behind";
  for (const std::string& e : c.existing)
    if (!e.ends_with('/') && e != c.target) { EXPECT_EQ(fileText(dir / e), "old") << e; }
  if (c.error == 0) {
    EXPECT_EQ(fileText(dir / c.target), contents);
    EXPECT_EQ(fs::status(dir / c.target).permissions(), fs::perms(0644)) << "the umask over mode 0644";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtomicFileReal,
    ::testing::Values(RealCase{"NewFile", {}, "001.bin.log", 300, 0, {"001.bin.log"}},
                      RealCase{"EmptyFile", {}, "e.log", 0, 0, {"e.log"}},
                      RealCase{"ReplacesAnOlderFile", {"a.sha256"}, "a.sha256", 80, 0, {"a.sha256"}},
                      RealCase{"MissingFolder", {}, "nope/a.log", 10, ENOENT, {}},
                      RealCase{"FolderIsAFile", {"plain"}, "plain/a.log", 10, ENOTDIR, {"plain"}},
                      RealCase{"TargetIsAFolder", {"sub/", "sub/keep"}, "sub", 10, EISDIR, {"sub", "sub/keep"}}),
    ByName{});

// A record that does not fit a 64 KiB tmpfs over an older one: the older
// record is left whole and no temporary is left. (A filesystem that fills
// up while a run's record is written is the run's own test, FullTarget.)
TEST_F(TempDirTest, AtomicFileThatDoesNotFitLeavesTheOlderRecord) {
  SmallTmpfs tmpfs;
  if (const std::string why = tmpfs.mount(dir / "small", "64k"); !why.empty()) GTEST_SKIP() << why;
  writeBytes(dir / "small" / "filler", patternBytes(40 << 10, 1));
  put(dir / "small" / "001.bin.log", "older record\n");
  const auto bytes = patternBytes(40 << 10, 2);
  PosixAtomicFile files;
  EXPECT_EQ(files.write((dir / "small" / "001.bin.log").string(),
                        std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size())),
            ENOSPC);
  EXPECT_EQ(fileText(dir / "small" / "001.bin.log"), "older record\n");
  EXPECT_EQ(listing(dir / "small"), (std::set<std::string>{"001.bin.log", "filler"}));
}

}  // namespace
}  // namespace mdi::test
