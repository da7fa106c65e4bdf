// Verify on real files: an empty image with every digest, nothing to
// compare with, and files that cannot be read.
#include "record/VerifyImage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "platform/linux/PosixFileAccess.h"
#include "tests/fakes/FakeSources.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using Kind = VerifyResult::Kind;

const HashAlgos kSha{HashAlgo::Sha256};

// Opened read-only as the run opens an image to read it back.
VerifyResult verifyFile(const fs::path& image, const Digests& expected) {
  PosixFileAccess files;
  return verifySource(*files.openSource(image.string()), expected, 4096);
}

// (A changed byte, an image cut short or grown, are what the run model's
// read-back rows see: the digests read back differ from those copied.)
TEST_F(TempDirTest, VerifyComparesWhatIsOnDiskWithTheDigestsGiven) {
  const HashAlgos all{HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1};
  writeBytes(dir / "empty.bin", {});
  const VerifyResult match = verifyFile(dir / "empty.bin", digestsOf({}, all));
  EXPECT_EQ(std::pair(match.kind, match.actual), std::pair(Kind::Match, digestsOf({}, all)));

  writeBytes(dir / "001.bin", patternBytes(100, 11));
  const VerifyResult none = verifyFile(dir / "001.bin", {});
  EXPECT_EQ(none.kind, Kind::HashFailed);
  EXPECT_FALSE(none.hashError.empty()) << "nothing expected is a hash failure, never a match";

  // A file that cannot be opened reads as a failure at offset 0 with the open's errno.
  const VerifyResult missing = verifyFile(dir / "missing.bin", digestsOf({}, kSha));
  EXPECT_EQ(std::tuple(missing.kind, missing.error, missing.errorOffset, missing.actual.empty()),
            std::tuple(Kind::ReadError, ENOENT, 0u, true));
}

// A source that fails part way (a re-read drive with a new bad sector):
// a read error at the failing offset, never a verdict on the hashes.
TEST(VerifySourceFault, IsAReadErrorAtTheFailingOffset) {
  const auto data = patternBytes(65536 + 1024, 4);
  for (const std::uint64_t bad : {0ull, 5120ull, 65536ull}) {
    FaultySource source(std::make_unique<MemorySource>(data), {{bad, bad + 512, EIO}});
    const VerifyResult r = verifySource(source, digestsOf(data, kSha), 4096);
    EXPECT_EQ(std::tuple(r.kind, r.error, r.errorOffset), std::tuple(Kind::ReadError, EIO, bad));
  }
}

}  // namespace
}  // namespace mdi::test
