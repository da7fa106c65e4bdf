#include "record/AcquisitionLog.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using namespace std::chrono;

const std::string kSha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kMd5 = "900150983cd24fb0d6963f7d28e17f72";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

AcquisitionLog base() {
  AcquisitionLog log;
  log.program = "mdimager";
  log.version = "1.2.3";
  log.host = "bench-01";
  log.start = sys_days{2024y / May / 1} + 9h + 30min;
  log.end = sys_days{2024y / May / 1} + 11h + 2min + 5s + 700ms;
  return log;
}

struct LogCase {
  std::string name;
  AcquisitionLog log;
  std::vector<std::string> expected;  // the whole record, line by line
};

class AcquisitionLogFormat : public ::testing::TestWithParam<LogCase> {};

TEST_P(AcquisitionLogFormat, WritesEveryFieldAsOneKeyValueLine) {
  const std::string text = formatAcquisitionLog(GetParam().log);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const auto lines = linesOf(text);
  EXPECT_EQ(lines, GetParam().expected);
  for (const auto& line : lines) {
    const auto colon = line.find(": ");
    ASSERT_NE(colon, std::string::npos) << line;
    EXPECT_EQ(line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), colon) << "key of " << line;
  }
}

LogCase driveMutateReadError() {
  AcquisitionLog log = base();
  log.source = {AcquiredSource::Kind::Drive, "/dev/sdc", 1040000000, "SEAGATE ST3300657SS",
                "0x5000c500a1b2c3d4",        520,        true,       "pass-through"};
  log.imagePath = "/images/001.bin";
  log.mutate = true;
  log.sectorIn = 520;
  log.sectorOut = 512;
  log.bytesRead = 1048320;
  log.bytesWritten = 1032192;
  log.outcome = "Read Error ...";
  log.outcomeOffset = 1048320;
  log.readErrors = {1048320};
  log.imageHashes = {{HashAlgo::Sha256, kSha}, {HashAlgo::Md5, kMd5}};
  log.sourceHashes = {{HashAlgo::Sha256, std::string(64, 'a')}, {HashAlgo::Md5, std::string(32, 'b')}};
  log.sectorLayout = "Data first";
  log.extraFile = ExtraFileRecord{"/images/001.bin.extra", 16128, {{HashAlgo::Sha256, kSha}}};
  log.protectionLines = {{"pi", "yes"}, {"pi_bad", "0"}};
  return {"DriveMutateReadError",
          log,
          {"program: mdimager",
           "version: 1.2.3",
           "host: bench-01",
           "start_utc: 2024-05-01T09:30:00Z",
           "end_utc: 2024-05-01T11:02:05Z",
           "source_type: drive",
           "source_path: /dev/sdc",
           "source_model: SEAGATE ST3300657SS",
           "source_serial: 0x5000c500a1b2c3d4",
           "source_size: 1040000000",
           "source_sector_size: 520",
           "source_pass_through: yes",
           "source_access: pass-through",
           "image_path: /images/001.bin",
           "sector_mutate: yes",
           "sector_in: 520",
           "sector_out: 512",
           "sector_layout: Data first",
           "bytes_read: 1048320",
           "bytes_written: 1032192",
           "outcome: Read Error ...",
           "outcome_offset: 1048320",
           "read_error: 1048320",
           "image_sha256: " + kSha,
           "image_md5: " + kMd5,
           "source_sha256: " + std::string(64, 'a'),
           "source_md5: " + std::string(32, 'b'),
           "extra_file: /images/001.bin.extra",
           "extra_file_size: 16128",
           "extra_file_sha256: " + kSha,
           "pi: yes",
           "pi_bad: 0"}};
}

LogCase fileJobVerified() {
  AcquisitionLog log = base();
  log.source = {AcquiredSource::Kind::ImageFile, "/home/op/disk.img", 4096, "", "", 0, false};
  log.imagePath = "/images/002.bin";
  log.bytesRead = 4096;
  log.bytesWritten = 4096;
  log.outcome = "Done.";
  log.imageHashes = {{HashAlgo::Sha256, kSha}};
  log.sourceHashes = {{HashAlgo::Sha256, "ignored for a straight job"}};
  log.verify = VerifyRecord{"Done. Verified", {{HashAlgo::Sha256, kSha}}, {}};
  return {"FileJobVerified",
          log,
          {"program: mdimager", "version: 1.2.3", "host: bench-01", "start_utc: 2024-05-01T09:30:00Z",
           "end_utc: 2024-05-01T11:02:05Z", "source_type: file", "source_path: /home/op/disk.img", "source_size: 4096",
           "source_access: direct", "image_path: /images/002.bin", "sector_mutate: no", "sector_in: 512",
           "sector_out: 512", "bytes_read: 4096", "bytes_written: 4096", "outcome: Done.", "image_sha256: " + kSha,
           "verify_result: Done. Verified", "verify_image_sha256: " + kSha}};
}

LogCase stoppedWithOddTexts() {
  AcquisitionLog log = base();
  log.source = {AcquiredSource::Kind::Drive, "/dev/sdb", 1 << 20, "Odd\tModel\r\n", "back\\slash\x01\x7f", 512, false};
  log.imagePath = "/images/line\nbreak.bin";
  log.bytesRead = 131072;
  log.bytesWritten = 131072;
  log.outcome = "Stopped";
  log.outcomeOffset = 131072;
  log.readErrors = {4096, 8192};
  log.hashError = "starting md5 failed: unsupported";
  log.verify = VerifyRecord{"Verify failed", {{HashAlgo::Sha256, kSha}}, {{HashAlgo::Sha256, std::string(64, 'c')}}};
  return {"StoppedWithOddTexts",
          log,
          {"program: mdimager",
           "version: 1.2.3",
           "host: bench-01",
           "start_utc: 2024-05-01T09:30:00Z",
           "end_utc: 2024-05-01T11:02:05Z",
           "source_type: drive",
           "source_path: /dev/sdb",
           "source_model: Odd\\tModel\\r\\n",
           "source_serial: back\\\\slash\\x01\\x7F",
           "source_size: 1048576",
           "source_sector_size: 512",
           "source_pass_through: no",
           "source_access: direct",
           "image_path: /images/line\\nbreak.bin",
           "sector_mutate: no",
           "sector_in: 512",
           "sector_out: 512",
           "bytes_read: 131072",
           "bytes_written: 131072",
           "outcome: Stopped",
           "outcome_offset: 131072",
           "read_error: 4096",
           "read_error: 8192",
           "hash_error: starting md5 failed: unsupported",
           "verify_result: Verify failed",
           "verify_image_sha256: " + kSha,
           "verify_source_sha256: " + std::string(64, 'c')}};
}

INSTANTIATE_TEST_SUITE_P(Jobs, AcquisitionLogFormat,
                         ::testing::Values(driveMutateReadError(), fileJobVerified(), stoppedWithOddTexts()), ByName{});

struct TimeCase {
  std::string name;
  system_clock::time_point t;
  std::string iso;
};

class IsoUtc : public ::testing::TestWithParam<TimeCase> {};

TEST_P(IsoUtc, FormatsTheSecondInUtc) { EXPECT_EQ(isoUtc(GetParam().t), GetParam().iso); }

INSTANTIATE_TEST_SUITE_P(
    Times, IsoUtc,
    ::testing::Values(TimeCase{"Epoch", system_clock::time_point{}, "1970-01-01T00:00:00Z"},
                      TimeCase{"LeapDayLastSecond", sys_days{2024y / February / 29} + 23h + 59min + 59s + 999ms,
                               "2024-02-29T23:59:59Z"},
                      TimeCase{"BeforeTheEpoch", system_clock::time_point{} - 500ms, "1969-12-31T23:59:59Z"},
                      TimeCase{"Year2100", sys_days{2100y / March / 1} + 1s, "2100-03-01T00:00:01Z"}),
    ByName{});

// A checksum file written beside an image is accepted by the coreutils
// tool run in the image's folder, and rejects the image once altered.
struct ChecksumCase {
  std::string name;
  HashAlgo algo;
  std::string imageName;
};

class ChecksumFile : public TempDirTestP<ChecksumCase> {};

TEST_P(ChecksumFile, IsAcceptedByTheCoreutilsCheck) {
  const auto& c = GetParam();
  const std::string tool = std::string(hashAlgoName(c.algo)) + "sum";
  if (!haveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  auto image = patternBytes(70000, 5);
  writeBytes(dir / c.imageName, image);
  Hasher h({c.algo});
  h.update(image);
  const std::string hex = h.finish().digests.at(0).hex;
  const std::string checksumPath = checksumFilePath((dir / c.imageName).string(), c.algo);
  EXPECT_EQ(checksumPath, (dir / c.imageName).string() + "." + std::string(hashAlgoName(c.algo)));
  {
    std::ofstream f(checksumPath, std::ios::binary);
    f << checksumFileText(hex, (dir / c.imageName).string());
  }
  const std::string check = "cd " + shellQuote(dir.string()) + " && " + tool + " -c --strict " +
                            shellQuote(fs::path(checksumPath).filename().string());
  const auto ok = shell(check);
  EXPECT_EQ(ok.exitCode, 0) << ok.output;
  EXPECT_NE(ok.output.find(": OK"), std::string::npos) << ok.output;

  image[12345] ^= std::byte{1};
  writeBytes(dir / c.imageName, image);
  const auto bad = shell(check);
  EXPECT_EQ(bad.exitCode, 1) << bad.output;
  EXPECT_NE(bad.output.find("FAILED"), std::string::npos) << bad.output;
}

// Each algorithm, and names the checksum line must escape (every algorithm
// on a plain name is checked after a real run too: RecordRunTest).
INSTANTIATE_TEST_SUITE_P(Cases, ChecksumFile,
                         ::testing::Values(ChecksumCase{"Sha256NameWithBlanks", HashAlgo::Sha256, "disk one .img"},
                                           ChecksumCase{"Sha1NameWithBackslash", HashAlgo::Sha1, "a\\b.bin"},
                                           ChecksumCase{"Md5NameWithNewline", HashAlgo::Md5, "two\nlines.bin"}),
                         ByName{});

TEST(ChecksumFileText, IsTheHexTwoBlanksAndTheBareName) {
  EXPECT_EQ(checksumFileText("00ff", "/images/001.bin"), "00ff  001.bin\n");
  EXPECT_EQ(checksumFileText("00ff", "a\\b"), "\\00ff  a\\\\b\n");
}

}  // namespace
}  // namespace mdi::test
