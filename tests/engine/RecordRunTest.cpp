// Every image a run writes has its digests and its record beside it,
// whatever the outcome, and they say what is on disk: checked with the
// coreutils checksum tools and ddrescuelog, as an operator would.
#include <cstdio>
#include <sstream>

#include "tests/RecordFields.h"
#include "tests/SmallTmpfs.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

constexpr std::size_t kBlock = 131072;

// Runs a shell command in `dir`; its exit status and what it printed.
std::pair<int, std::string> shellIn(const fs::path& dir, const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(("cd '" + dir.string() + "' && " + cmd + " 2>&1").c_str(), "r");
  if (!p) return {-1, out};
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  const int status = ::pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
bool have(const char* tool) { return shellIn("/", std::string("command -v ") + tool).first == 0; }

struct OutcomeCase {
  const char* name;
  bool mutate;
  std::function<void(RunFixture&, const std::string& src)> arrange;
  const char* status;
  bool map;  // a rescue map is written
};
void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class RecordForEveryOutcome : public RunFixture, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(RecordForEveryOutcome, DigestsMatchTheFileOnDiskAndTheRecordSaysWhatHappened) {
  const OutcomeCase& c = GetParam();
  form.Options.hashes = {HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1};
  ui.setChecked(Ctl::Check2, c.mutate);
  const auto path = src("src.img", patternBytes(6 * kBlock + 1000, 3));
  addFileJob(path);
  c.arrange(*this, path);
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const fs::path out(output(1));
  for (const char* algo : {"sha256", "md5", "sha1"}) {
    SCOPED_TRACE(algo);
    ASSERT_TRUE(fs::exists(out.string() + "." + algo));
    if (!have((std::string(algo) + "sum").c_str())) continue;
    const auto [rc, text] = shellIn(out.parent_path(), std::string(algo) + "sum -c --strict " +
                                                           out.filename().string() + "." + algo);
    EXPECT_EQ(rc, 0) << text;
  }
  const std::string record = fileText(out.string() + ".log");
  EXPECT_EQ(field(record, "outcome"), c.status);
  EXPECT_EQ(field(record, "image_path"), out.string());
  EXPECT_EQ(field(record, "source_path"), path);
  EXPECT_EQ(field(record, "bytes_written"), std::to_string(fs::file_size(out)));
  EXPECT_EQ(field(record, "sector_mutate"), c.mutate ? "yes" : "no");
  EXPECT_EQ(fs::exists(out.string() + ".map"), c.map);
  if (c.map && have("ddrescuelog")) {
    const auto [rc, text] = shellIn(out.parent_path(), "ddrescuelog -t " + out.filename().string() + ".map");
    EXPECT_EQ(rc, 0) << text;
  }
}
INSTANTIATE_TEST_SUITE_P(
    Outcomes, RecordForEveryOutcome,
    ::testing::Values(
        OutcomeCase{"StraightDone", false, [](RunFixture&, const std::string&) {}, "Done.", false},
        OutcomeCase{"MutateDone", true, [](RunFixture&, const std::string&) {}, "Done.", false},
        OutcomeCase{"Stopped", false, [](RunFixture& f, const std::string&) { f.pressStopAt(2); }, "Stopped", true},
        OutcomeCase{"ReadError", false,
                    [](RunFixture& f, const std::string& p) { f.files.badRanges[p] = {{300000, 300512, EIO, true}}; },
                    "Read Error ... at byte 299,520", true},
        OutcomeCase{"WriteError", false,
                    [](RunFixture& f, const std::string&) { f.files.writeLimit[f.output(1)] = kBlock + 77; },
                    "Write Error ...", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFixture, RescueMapMarksExactlyTheUnreadableSector) {
  if (!have("ddrescuelog")) GTEST_SKIP() << "ddrescuelog (gddrescue) is not installed";
  const auto path = src("src.img", patternBytes(4 * kBlock, 4));
  files.badRanges[path] = {{200704, 201216, EIO, true}};
  addFileJob(path);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Read Error ... at byte 200,704");
  const fs::path out(output(1));
  // ddrescuelog lists the failed blocks of the map: one, 512 bytes at the offset.
  const auto [rc, text] = shellIn(out.parent_path(), "ddrescuelog -l- -b1 " + out.filename().string() + ".map");
  EXPECT_EQ(rc, 0) << text;
  EXPECT_EQ(text.substr(0, text.find('\n')), "200704") << text;
  const std::string record = fileText(out.string() + ".log");
  EXPECT_EQ(field(record, "read_error"), "200704");
}

TEST_F(RunFixture, MutateRecordHashesTheRawSourceStreamAndTheExtraFile) {
  if (!have("sha256sum")) GTEST_SKIP() << "sha256sum is not installed";
  ui.setChecked(Ctl::Check2, true);
  const auto path = src("raw.img", patternBytes(520 * 300 + 100, 5));
  addFileJob(path, -1, "520", "512");
  controller.RunClicked();
  ASSERT_EQ(status(1), "Done.");
  const auto [rc, text] = shellIn(dir, "sha256sum raw.img");
  ASSERT_EQ(rc, 0);
  const std::string extra = output(1) + ".extra";
  const auto [rcExtra, extraSum] = shellIn(dir, "sha256sum '" + extra + "'");
  ASSERT_EQ(rcExtra, 0);
  const std::string record = fileText(output(1) + ".log");
  EXPECT_EQ(field(record, "source_sha256"), text.substr(0, 64));
  EXPECT_EQ(field(record, "sector_in"), "520");
  EXPECT_EQ(field(record, "sector_out"), "512");
  EXPECT_EQ(field(record, "sector_layout"), "Data first");
  EXPECT_EQ(field(record, "extra_file"), extra);
  EXPECT_EQ(field(record, "extra_file_size"), std::to_string(300 * 8));
  EXPECT_EQ(fs::file_size(extra), 300u * 8);
  EXPECT_EQ(field(record, "extra_file_sha256"), extraSum.substr(0, 64));
}

TEST_F(RunFixture, DriveJobRecordNamesTheDrive) {
  const auto disk = src("disk.img", patternBytes(3 * kBlock, 6));
  drives.add(3, {DriveIdentity{"/dev/sdx", 3 * kBlock, "0x5000c500a1b2c3d4"}, disk, 0, ""});
  drives.describe(3, {"ACME ARRAY DISK", "Z1X2Y3", 512});
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, "3");
  form.iGrid2.setValue(row, JobCol::Model, "ACME ARRAY DISK");
  form.iGrid2.setValue(row, JobCol::SizeI, std::to_string(3 * kBlock));
  form.iGrid2.setValue(row, JobCol::FileName, (dir / "out" / "drive.bin").string());
  system.host = "bench-7";
  controller.RunClicked();
  ASSERT_EQ(status(1), "Done.");
  const std::string record = fileText(output(1) + ".log");
  EXPECT_EQ(field(record, "source_type"), "drive");
  EXPECT_EQ(field(record, "source_path"), "/dev/sdx");
  EXPECT_EQ(field(record, "source_model"), "ACME ARRAY DISK");
  EXPECT_EQ(field(record, "source_serial"), "0x5000c500a1b2c3d4");
  EXPECT_EQ(field(record, "source_size"), std::to_string(3 * kBlock));
  EXPECT_EQ(field(record, "source_sector_size"), "512");
  EXPECT_EQ(field(record, "source_pass_through"), "no");
  EXPECT_EQ(field(record, "host"), "bench-7");
  EXPECT_EQ(field(record, "start_utc"), "1970-01-01T00:00:00Z");
}

struct VerifyCase {
  const char* name;
  bool alter;  // the image changes on disk before it is read back
  const char* status;
};
void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }
class VerifyAfterImaging : public RunFixture, public ::testing::WithParamInterface<VerifyCase> {};
TEST_P(VerifyAfterImaging, ReadsTheImageBackAndComparesItsDigest) {
  form.Options.verifyImages = true;
  form.Options.rereadSources = true;
  addFileJob(src("src.img", patternBytes(3 * kBlock + 10, 7)));
  if (GetParam().alter) {
    pump.every([&] {
      if (status(1) != "Verifying...") return;
      std::fstream f(output(1), std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(1000);
      f.put('\x7f');
    });
  }
  controller.RunClicked();
  EXPECT_EQ(status(1), GetParam().status);
  EXPECT_EQ(field(fileText(output(1) + ".log"), "verify_result"), GetParam().alter ? "Verify failed" : "Verified");
}
INSTANTIATE_TEST_SUITE_P(Images, VerifyAfterImaging,
                         ::testing::Values(VerifyCase{"Unchanged", false, "Done. Verified"},
                                           VerifyCase{"AlteredOnDisk", true, "Verify failed"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFixture, ExistingRecordFilesArePartOfTheOverwriteQuestion) {
  addFileJob(src("src.img", patternBytes(5000, 8)));
  std::ofstream(output(1) + ".log") << "an earlier record";
  msg.answer("File exists", MsgAnswer::No);
  controller.RunClicked();
  ASSERT_EQ(msg.count("File exists"), 1);
  EXPECT_EQ(msg.shown[0].text, "The file " + output(1) +
                                   ".log already exists and will be overwritten. Are you sure you want to do this?");
  EXPECT_EQ(fileText(output(1) + ".log"), "an earlier record");
  EXPECT_FALSE(fs::exists(output(1)));
}

TEST_F(RunFixture, TargetFullWhileTheRecordIsWrittenIsAWriteErrorWithNoPartialRecord) {
  SmallTmpfs tmpfs;
  const fs::path small = dir / "small";
  if (const std::string why = tmpfs.mount(small, "280k"); !why.empty()) GTEST_SKIP() << why;
  form.run.TargetFolder = small.string();
  addFileJob(src("src.img", patternBytes(280 * 1024, 9)));  // fills the filesystem exactly
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  for (const auto& e : fs::directory_iterator(small)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "001.bin" || fs::file_size(e.path()) > 0) << name;
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "no temporary left: " << name;
  }
  EXPECT_FALSE(fs::exists(small / "001.bin.log")) << "no half-written record";
  tmpfs.unmount();
}

}  // namespace
}  // namespace mdi::test
