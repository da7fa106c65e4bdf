// Every image a run writes has its digests and its record beside it,
// whatever the outcome, and they say what is on disk: checked with the
// coreutils checksum tools and ddrescuelog, as an operator would.
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::size_t kBlock = 131072;

// Runs a shell command in `dir`.
ShellResult shellIn(const fs::path& dir, const std::string& cmd) {
  return shell("cd " + shellQuote(dir) + " && " + cmd);
}

struct OutcomeCase {
  const char* name;
  bool mutate;
  int sectorIn;  // to 512; from 520 a .extra is written too
  std::function<void(RunFixture&, const std::string& src)> arrange;
  const char* status;
  bool map;               // a rescue map is written
  const char* readError;  // the record's read_error, and the map's first failed byte
};

class RecordForEveryOutcome : public RunFixture, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(RecordForEveryOutcome, DigestsMatchTheFilesOnDiskAndTheRecordSaysWhatHappened) {
  const OutcomeCase& c = GetParam();
  form.Options.hashes = {HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1};
  setMutate(c.mutate);
  // Longer than a step, so a Stop finds the copy under way.
  constexpr std::size_t kSourceSize = 80 * kBlock + 1000;
  const auto path = src("src.img", patternBytes(kSourceSize, 3));
  addFileJob(path, -1, std::to_string(c.sectorIn), "512");
  c.arrange(*this, path);
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const fs::path out(output(1));
  const std::string name = out.filename().string();
  for (const char* algo : {"sha256", "md5", "sha1"}) {
    SCOPED_TRACE(algo);
    ASSERT_TRUE(fs::exists(out.string() + "." + algo));
    if (!haveTool(std::string(algo) + "sum")) continue;
    const auto check = shellIn(out.parent_path(), std::string(algo) + "sum -c --strict " + name + "." + algo);
    EXPECT_EQ(check.exitCode, 0) << check.output;
  }
  // A mutate run hashes the raw source stream and the .extra as well.
  auto sha256Of = [](const std::string& file) {
    const auto r = shell("sha256sum " + shellQuote(file));
    return r.exitCode == 0 ? r.output.substr(0, 64) : "sha256sum failed: " + r.output;
  };
  const bool extra = c.mutate && c.sectorIn > 512;
  Fields want{{"outcome", c.status},
              {"image_path", out.string()},
              {"source_path", path},
              {"bytes_written", std::to_string(fs::file_size(out))},
              {"sector_mutate", c.mutate ? "yes" : "no"},
              {"sector_in", std::to_string(c.sectorIn)},
              {"sector_out", "512"},
              {"sector_layout", c.mutate ? "Data first" : ""},
              {"read_error", c.readError},
              {"extra_file", extra ? extraOf(1) : ""}};
  if (c.mutate && haveTool("sha256sum")) want["source_sha256"] = sha256Of(path);
  if (extra) {
    EXPECT_EQ(fs::file_size(extraOf(1)), kSourceSize / 520 * 8);
    want["extra_file_size"] = std::to_string(fs::file_size(extraOf(1)));
    if (haveTool("sha256sum")) want["extra_file_sha256"] = sha256Of(extraOf(1));
  }
  EXPECT_EQ(fieldsOf(record(1), want), want);
  EXPECT_EQ(fs::exists(out.string() + ".map"), c.map);
  if (c.map && haveTool("ddrescuelog")) {
    const auto check = shellIn(out.parent_path(), "ddrescuelog -t " + name + ".map");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    // The failed blocks of the map, one byte each: the first is the first unreadable byte.
    const auto list = shellIn(out.parent_path(), "ddrescuelog -l- -b1 " + name + ".map");
    EXPECT_EQ(list.exitCode, 0) << list.output;
    EXPECT_EQ(list.output.substr(0, list.output.find('\n')), c.readError) << list.output;
  }
}
using Arrange = std::function<void(RunFixture&, const std::string& src)>;
void nothing(RunFixture&, const std::string&) {}
void stopAt2(RunFixture& f, const std::string&) { f.pressStopAt(2); }
Arrange unreadable(std::uint64_t from, std::uint64_t to) {
  return [=](RunFixture& f, const std::string& p) { f.files.badRanges[p] = {{from, to, EIO, true}}; };
}
void targetFull(RunFixture& f, const std::string&) { f.files.writeLimit[f.output(1)] = kBlock + 77; }
INSTANTIATE_TEST_SUITE_P(
    Outcomes, RecordForEveryOutcome,
    ::testing::Values(OutcomeCase("StraightDone", false, 512, nothing, "Done.", false, ""),
                      OutcomeCase("MutateDone", true, 512, nothing, "Done.", false, ""),
                      OutcomeCase("MutateDoneWithAnExtra", true, 520, nothing, "Done.", false, ""),
                      OutcomeCase("Stopped", false, 512, stopAt2, "Stopped", true, ""),
                      OutcomeCase("ReadError", false, 512, unreadable(300000, 300512), "Read Error ... at byte 299,520",
                                  true, "299520"),
                      OutcomeCase("ReadErrorOnASectorBoundary", false, 512, unreadable(200704, 201216),
                                  "Read Error ... at byte 200,704", true, "200704"),
                      OutcomeCase("WriteError", false, 512, targetFull, "Write Error ...", false, "")),
    ByName{});

TEST_F(RunFixture, DriveJobRecordNamesTheDrive) {
  const auto disk = src("disk.img", patternBytes(3 * kBlock, 6));
  drives.add(3, {DriveIdentity{"/dev/sdx", 3 * kBlock, "0x5000c500a1b2c3d4"}, disk, 0, ""});
  drives.describe(3, {"ACME ARRAY DISK", "Z1X2Y3", 512});
  const int row = addDriveJob("3", 3 * kBlock, (dir / "out" / "drive.bin").string());
  form.iGrid2.setValue(row, JobCol::Model, "ACME ARRAY DISK");
  system.host = "bench-7";
  controller.RunClicked();
  ASSERT_EQ(status(1), "Done.");
  const Fields want{{"source_type", "drive"},
                    {"source_path", "/dev/sdx"},
                    {"source_model", "ACME ARRAY DISK"},
                    {"source_serial", "0x5000c500a1b2c3d4"},
                    {"source_size", std::to_string(3 * kBlock)},
                    {"source_sector_size", "512"},
                    {"source_pass_through", "no"},
                    {"host", "bench-7"},
                    {"start_utc", "1970-01-01T00:00:00Z"}};
  EXPECT_EQ(fieldsOf(record(1), want), want);
}

struct VerifyCase {
  const char* name;
  bool alter;  // the image changes on disk before it is read back
  const char* status;
  const char* result;  // verify_result in the record
  bool mutate = false;
  HashAlgos hashes{HashAlgo::Sha256};  // as chosen in the Options menu
};
class VerifyAfterImaging : public RunFixture, public ::testing::WithParamInterface<VerifyCase> {};
TEST_P(VerifyAfterImaging, ReadsTheImageBackAndComparesItsDigest) {
  const VerifyCase& c = GetParam();
  setMutate(c.mutate);
  form.Options.hashes = c.hashes;
  form.Options.verifyImages = true;
  form.Options.rereadSources = true;
  addFileJob(src("src.img", patternBytes(3 * kBlock + 10, 7)), -1, c.mutate ? "520" : "512", "512");
  // A job that ends short of its source is not read back.
  addFileJob(src("short.img", patternBytes(3 * kBlock, 8)));
  files.badRanges[(dir / "short.img").string()] = {{kBlock, kBlock + 512, EIO, true}};
  if (c.alter) {
    pump.every([&] {
      if (status(1) != "Verifying...") return;
      std::fstream f(output(1), std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(1000);
      f.put('\x7f');
    });
  }
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const std::string log = record(1);
  EXPECT_EQ(field(log, "verify_result"), c.result);
  // What was read back is recorded beside what was copied: the image, and
  // the source again (its raw stream, for a mutate job).
  const std::string copied = field(log, "image_sha256");
  EXPECT_EQ(copied.size(), 64u) << log;
  EXPECT_EQ(field(log, "verify_image_sha256") == copied, !c.alter) << log;
  if (!c.alter) {
    EXPECT_EQ(field(log, "verify_source_sha256"), field(log, c.mutate ? "source_sha256" : "image_sha256"));
  }
  // Checksum files are written for the hashes chosen, and only those.
  EXPECT_EQ(fs::exists(output(1) + ".sha256"), c.hashes.contains(HashAlgo::Sha256));
  EXPECT_EQ(status(2), "Read Error ... at byte 131,072");
  EXPECT_EQ(field(record(2), "verify_result"), "");
}
INSTANTIATE_TEST_SUITE_P(Images, VerifyAfterImaging,
                         ::testing::Values(VerifyCase("Unchanged", false, "Done. Verified", "Verified"),
                                           VerifyCase("AlteredOnDisk", true, "Verify failed", "Verify failed"),
                                           VerifyCase("Mutate", false, "Done. Verified", "Verified", true),
                                           // Verifying needs a digest: the run makes one even when no hash is chosen.
                                           VerifyCase("NoHashChosen", false, "Done. Verified", "Verified", false, {})),
                         ByName{});

}  // namespace
}  // namespace mdi::test
