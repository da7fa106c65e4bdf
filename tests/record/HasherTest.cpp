#include "support/Hasher.h"

#include <gtest/gtest.h>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

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
