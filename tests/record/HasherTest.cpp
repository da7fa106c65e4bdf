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

// Published test vectors (FIPS 180 examples, RFC 1321).
struct KnownAnswer {
  std::string name;
  std::string input;
  std::string sha256, md5, sha1;
};

class HasherKnownAnswer : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(HasherKnownAnswer, GivesThePublishedDigests) {
  const auto& c = GetParam();
  Hasher h({HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1});
  ASSERT_TRUE(h.update(bytesOf(c.input)));
  const HashResult r = h.finish();
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r.digests.size(), 3u);
  EXPECT_EQ(r.digests[0], (Digest{HashAlgo::Sha256, c.sha256}));
  EXPECT_EQ(r.digests[1], (Digest{HashAlgo::Md5, c.md5}));
  EXPECT_EQ(r.digests[2], (Digest{HashAlgo::Sha1, c.sha1}));
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, HasherKnownAnswer,
    ::testing::Values(KnownAnswer{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                                  "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
                      KnownAnswer{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                                  "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d"},
                      KnownAnswer{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
                                  "8215ef0796a20bcaaae116d3876c664a", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"}),
    ByName{});

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
  ASSERT_EQ(r.digests.size(), c.algos.list().size());
  for (const Digest& d : r.digests) {
    const auto tool = shell(std::string(hashAlgoName(d.algo)) + "sum " + shellQuote((dir / "data.bin").string()));
    ASSERT_EQ(tool.exitCode, 0) << tool.output;
    EXPECT_EQ(d.hex, tool.output.substr(0, tool.output.find(' '))) << hashAlgoName(d.algo);
  }
}

// Odd pieces and single bytes across block boundaries, and nothing at all
// (whole 128 KiB blocks are checked after a real run: RecordRunTest).
INSTANTIATE_TEST_SUITE_P(Streams, HasherAgainstCoreutils,
                         ::testing::Values(StreamCase{"Sha256OddPieces", 300001, 4093, {HashAlgo::Sha256}},
                                           StreamCase{"Md5AndSha1ByteByByte", 1000, 1, {HashAlgo::Md5, HashAlgo::Sha1}},
                                           StreamCase{"EmptyStream", 0, 0, {HashAlgo::Sha256, HashAlgo::Md5}}),
                         ByName{});

// Misuse is reported, never answered with a digest.
struct MisuseCase {
  std::string name;
  void (*act)(Hasher&);
  std::string errorPart;
};

class HasherMisuse : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(HasherMisuse, IsReportedAndGivesNoDigest) {
  Hasher h({HashAlgo::Sha256});
  GetParam().act(h);
  EXPECT_FALSE(h.ok());
  EXPECT_NE(h.error().find(GetParam().errorPart), std::string::npos) << h.error();
  EXPECT_FALSE(h.update(bytesOf("x")));
  const HashResult r = h.finish();
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.digests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HasherMisuse,
    ::testing::Values(MisuseCase{"FinishTwice",
                                 [](Hasher& h) {
                                   (void)h.finish();
                                   (void)h.finish();
                                 },
                                 "twice"},
                      MisuseCase{"UpdateAfterFinish",
                                 [](Hasher& h) {
                                   (void)h.finish();
                                   (void)h.update({});
                                 },
                                 "after finish"},
                      MisuseCase{"MovedFrom", [](Hasher& h) { Hasher other(std::move(h)); }, "moved"},
                      MisuseCase{"NoAlgorithm", [](Hasher& h) { h = Hasher(HashAlgos{}); }, "no hash algorithm"}),
    ByName{});

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
