// Hashing: several streams through the pipeline, and the misuse of the
// pipeline and of a single hasher.
#include "record/HashPipeline.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/Hasher.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

// Several streams fed in turns from one thread, as the copy loop's cycle
// does, through a caller buffer that is scribbled over after every submit;
// or, `owned`, each block handed over with its owner, which must be let go
// of once the block is hashed.
struct InterleaveCase {
  std::string name;
  int streams;
  std::vector<std::size_t> blockSizes;  // used in turn, per stream
  std::size_t streamBytes;
  std::size_t maxQueuedBytes;
  bool owned = false;
};

class HashPipelineInterleaved : public ::testing::TestWithParam<InterleaveCase> {};

TEST_P(HashPipelineInterleaved, EachStreamHashesItsBytesInOrderWithinTheBound) {
  const auto& c = GetParam();
  std::vector<std::vector<std::byte>> data;
  for (int s = 0; s < c.streams; ++s) data.push_back(patternBytes(c.streamBytes, static_cast<unsigned>(s)));
  HashPipeline pipe(c.maxQueuedBytes);
  for (int s = 0; s < c.streams; ++s)
    ASSERT_TRUE(pipe.open(static_cast<HashPipeline::StreamId>(s), {HashAlgo::Sha256}));
  const std::size_t largest = *std::max_element(c.blockSizes.begin(), c.blockSizes.end());
  std::vector<std::byte> callerBuffer;
  std::vector<std::weak_ptr<std::vector<std::byte>>> owners;
  std::vector<std::size_t> at(static_cast<std::size_t>(c.streams), 0);
  for (std::size_t turn = 0, left = static_cast<std::size_t>(c.streams); left > 0; ++turn) {
    left = 0;
    for (int s = 0; s < c.streams; ++s) {
      auto& pos = at[static_cast<std::size_t>(s)];
      const std::size_t n = std::min(c.blockSizes[turn % c.blockSizes.size()], c.streamBytes - pos);
      if (n == 0) continue;
      callerBuffer.assign(data[static_cast<std::size_t>(s)].begin() + static_cast<std::ptrdiff_t>(pos),
                          data[static_cast<std::size_t>(s)].begin() + static_cast<std::ptrdiff_t>(pos + n));
      if (c.owned) {
        auto owner = std::make_shared<std::vector<std::byte>>(callerBuffer);
        owners.push_back(owner);
        ASSERT_TRUE(pipe.submit(static_cast<HashPipeline::StreamId>(s), *owner, owner));
      } else {
        ASSERT_TRUE(pipe.submit(static_cast<HashPipeline::StreamId>(s), callerBuffer));
      }
      std::fill(callerBuffer.begin(), callerBuffer.end(), std::byte{0xEE});
      ASSERT_LE(pipe.queuedBytes(), std::max(c.maxQueuedBytes, largest));
      pos += n;
      if (pos < c.streamBytes) ++left;
    }
  }
  for (int s = 0; s < c.streams; ++s) {
    const HashResult r = pipe.finish(static_cast<HashPipeline::StreamId>(s));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.digests, digestsOf(data[static_cast<std::size_t>(s)], {HashAlgo::Sha256})) << "stream " << s;
  }
  EXPECT_EQ(pipe.queuedBytes(), 0u);
  EXPECT_TRUE(std::ranges::all_of(owners, [](const auto& o) { return o.expired(); }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HashPipelineInterleaved,
    ::testing::Values(InterleaveCase{"FourStreams128KiB", 4, {131072}, (1 << 20) + 4096, 512 << 10},
                      InterleaveCase{"MixedSizesTightQueue", 3, {512, 66560, 1, 131072, 7}, 700000, 64 << 10},
                      InterleaveCase{"BlocksLargerThanTheQueue", 2, {300000}, 1 << 20, 4096},
                      InterleaveCase{"OwnedBlocksTightQueue", 3, {512, 66560, 131072}, 700000, 64 << 10, true}),
    ByName{});

// Calls out of turn are refused and change nothing; a finished stream's
// id can be opened again.
TEST(HashPipelineMisuse, IsRefused) {
  HashPipeline pipe;
  const std::byte one[1] = {std::byte{1}};
  ASSERT_TRUE(pipe.open(1, {HashAlgo::Sha256}));
  EXPECT_FALSE(pipe.open(1, {HashAlgo::Md5})) << "opened twice";
  EXPECT_FALSE(pipe.submit(2, one)) << "not open";
  const HashResult r = pipe.finish(2);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("not open"), std::string::npos) << r.error;
  EXPECT_EQ(pipe.queuedBytes(), 0u);
  EXPECT_EQ(pipe.finish(1).digests, digestsOf({}, {HashAlgo::Sha256}));
  EXPECT_TRUE(pipe.open(1, {HashAlgo::Sha256}));
}

// Misuse is reported, never answered with a digest.
TEST(HasherMisuse, IsReportedAndGivesNoDigest) {
  Hasher twice({HashAlgo::Sha256}), late({HashAlgo::Sha256}), moved({HashAlgo::Sha256}), none({HashAlgo::Sha256});
  none = Hasher(HashAlgos{});  // moved onto: no algorithm
  (void)twice.finish();
  (void)twice.finish();
  (void)late.finish();
  (void)late.update({});
  Hasher other(std::move(moved));
  for (auto [h, part] :
       {std::pair{&twice, "twice"}, {&late, "after finish"}, {&moved, "moved"}, {&none, "no hash algorithm"}}) {
    EXPECT_FALSE(h->ok());
    EXPECT_NE(h->error().find(part), std::string::npos) << h->error();
    EXPECT_FALSE(h->update(patternBytes(1, 0)));
    const HashResult r = h->finish();
    EXPECT_FALSE(r.ok()) << part;
    EXPECT_TRUE(r.digests.empty()) << part;
  }
}

// (Their names are the record keys' endings, read from the README by the
// record's key test.)
TEST(HashAlgos, ListsInRecordOrder) {
  HashAlgos s{HashAlgo::Sha1, HashAlgo::Sha256};
  EXPECT_EQ(s.list(), (std::vector<HashAlgo>{HashAlgo::Sha256, HashAlgo::Sha1}));
  EXPECT_EQ(s.add(HashAlgo::Md5).list(), (std::vector<HashAlgo>{HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1}));
}

}  // namespace
}  // namespace mdi::test
