#include "support/Hasher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

std::span<const std::byte> bytesOf(const std::string& s) {
  return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

// Bytes fed in pieces of every shape give what coreutils computes over the
// same bytes in a file.
struct StreamCase {
  std::string name;
  std::size_t size;
  std::size_t piece;  // 0: one update with everything
  HashAlgos algos;
};

class HasherAgainstCoreutils : public TempDirTestP<StreamCase> {};

TEST_P(HasherAgainstCoreutils, PiecewiseDigestsEqualTheToolsOverTheFile) {
  const auto& c = GetParam();
  const auto data = patternBytes(c.size, 7);
  writeBytes(dir / "data.bin", data);
  Hasher h(c.algos);
  const std::size_t piece = c.piece ? c.piece : std::max<std::size_t>(data.size(), 1);
  for (std::size_t at = 0; at < data.size(); at += piece)
    ASSERT_TRUE(h.update(std::span(data).subspan(at, std::min(piece, data.size() - at))));
  const HashResult r = h.finish();
  ASSERT_TRUE(r.ok()) << r.error;
  std::vector<HashAlgo> order;
  for (const Digest& d : r.digests) {
    order.push_back(d.algo);
    const auto tool = shell(std::string(hashAlgoName(d.algo)) + "sum " + shellQuote((dir / "data.bin").string()));
    ASSERT_EQ(tool.exitCode, 0) << tool.output;
    EXPECT_EQ(d.hex, tool.output.substr(0, tool.output.find(' '))) << hashAlgoName(d.algo);
  }
  EXPECT_EQ(order, c.algos.list()) << "one digest per algorithm, in record order";
}

// Odd pieces and single bytes across block boundaries, and nothing at all
// (whole 128 KiB blocks are checked after a real run: RecordRunTest).
INSTANTIATE_TEST_SUITE_P(
    Streams, HasherAgainstCoreutils,
    ::testing::Values(StreamCase{"Sha256OddPieces", 300001, 4093, {HashAlgo::Sha256}},
                      StreamCase{"AllByteByByte", 1000, 1, {HashAlgo::Sha1, HashAlgo::Md5, HashAlgo::Sha256}},
                      StreamCase{"EmptyStream", 0, 0, {HashAlgo::Sha256, HashAlgo::Md5}}),
    ByName{});

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
    EXPECT_FALSE(h->update(bytesOf("x")));
    const HashResult r = h->finish();
    EXPECT_FALSE(r.ok()) << part;
    EXPECT_TRUE(r.digests.empty()) << part;
  }
}

TEST(HasherMove, TheNewOwnerContinuesTheStream) {
  Hasher a({HashAlgo::Sha256});
  ASSERT_TRUE(a.update(bytesOf("ab")));
  Hasher b(std::move(a));
  ASSERT_TRUE(b.update(bytesOf("c")));
  EXPECT_EQ(b.finish().digests.at(0).hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(HashAlgos, ListsInRecordOrderAndNamesLikeCoreutils) {
  HashAlgos s{HashAlgo::Sha1, HashAlgo::Sha256};
  EXPECT_EQ(s.list(), (std::vector<HashAlgo>{HashAlgo::Sha256, HashAlgo::Sha1}));
  s.remove(HashAlgo::Sha256).add(HashAlgo::Md5);
  EXPECT_EQ(s.list(), (std::vector<HashAlgo>{HashAlgo::Md5, HashAlgo::Sha1}));
  EXPECT_EQ(hashAlgoName(HashAlgo::Sha256), "sha256");
  EXPECT_EQ(hashAlgoName(HashAlgo::Md5), "md5");
  EXPECT_EQ(hashAlgoName(HashAlgo::Sha1), "sha1");
}

}  // namespace
}  // namespace mdi::test
