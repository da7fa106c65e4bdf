// Verify on real files: an empty image with every digest, nothing to
// compare with, and files that cannot be read.
#include "record/VerifyImage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <tuple>

#include "platform/linux/PosixFileAccess.h"
#include "tests/fakes/FakeSources.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using Kind = VerifyResult::Kind;

struct VerifyCase {
  std::string name;
  std::size_t size;
  std::size_t block;
  HashAlgos algos;
  // Changes the image on disk after its digests were taken.
  std::function<void(const fs::path& image, std::vector<std::byte>& data)> alter;
  Kind kind;
  int error = 0;
  std::uint64_t errorOffset = 0;
};

class VerifyImageCases : public TempDirTestP<VerifyCase> {};

TEST_P(VerifyImageCases, ComparesWhatIsOnDiskWithTheDigestsGiven) {
  const auto& c = GetParam();
  auto data = patternBytes(c.size, 11);
  const fs::path image = dir / "001.bin";
  writeBytes(image, data);
  const Digests expected = digestsOf(data, c.algos);
  if (c.alter) c.alter(image, data);

  // Opened read-only as the run opens an image to read it back: a file that
  // cannot be opened reads as a failure at offset 0 with the open's errno.
  PosixFileAccess files;
  const VerifyResult r = verifySource(*files.openSource(image.string()), expected, c.block);
  EXPECT_EQ(static_cast<int>(r.kind), static_cast<int>(c.kind));
  if (c.kind == Kind::ReadError) {
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.errorOffset, c.errorOffset);
    EXPECT_TRUE(r.actual.empty());
  } else if (c.kind == Kind::HashFailed) {
    EXPECT_FALSE(r.hashError.empty()) << "nothing expected is a hash failure, never a match";
  } else {
    EXPECT_EQ(r.bytesRead, data.size());
    EXPECT_EQ(r.actual, digestsOf(data, c.algos)) << "the digests of what is on disk now";
  }
}

const HashAlgos kSha{HashAlgo::Sha256};

// (A changed byte, an image cut short or grown, are what the run model's
// read-back rows see: the digests read back differ from those copied.)
INSTANTIATE_TEST_SUITE_P(Cases, VerifyImageCases,
                         ::testing::Values(VerifyCase{"MatchEmptyImage", 0, 4096,
                                                      HashAlgos{HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1},
                                                      nullptr, Kind::Match},
                                           VerifyCase{"NothingExpected", 100, 4096, {}, nullptr, Kind::HashFailed},
                                           VerifyCase{"Missing", 4096, 4096, kSha,
                                                      [](const fs::path& p, std::vector<std::byte>&) { fs::remove(p); },
                                                      Kind::ReadError, ENOENT, 0}),
                         ByName{});

// A source that fails part way (a re-read drive with a new bad sector):
// a read error at the failing offset, never a verdict on the hashes.
TEST(VerifySourceFault, IsAReadErrorAtTheFailingOffset) {
  const auto data = patternBytes(65536 + 1024, 4);
  for (const std::uint64_t bad : {0ull, 5120ull, 65536ull}) {
    FaultySource source(std::make_unique<MemorySource>(data), {{bad, bad + 512, EIO}});
    const VerifyResult r = verifySource(source, digestsOf(data, kSha), 4096);
    EXPECT_EQ(std::tuple(static_cast<int>(r.kind), r.error, r.errorOffset),
              std::tuple(static_cast<int>(Kind::ReadError), EIO, bad));
  }
}

}  // namespace
}  // namespace mdi::test
