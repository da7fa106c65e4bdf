#include "record/AcquisitionLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "convert/ProtectionInfo.h"
#include "tests/Readme.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using namespace std::chrono;

using Lines = std::vector<std::pair<std::string, std::string>>;

Lines linesOf(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto colon = line.find(": ");
    EXPECT_NE(colon, std::string::npos) << line;
    lines.emplace_back(line.substr(0, colon), colon == std::string::npos ? "" : line.substr(colon + 2));
  }
  return lines;
}

// The README's sample record, as key/value lines.
Lines readmeSample() {
  const std::string section = readmeSection("Acquisition record");
  std::istringstream in(section.substr(section.find("A sample,")));
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("    ")) text += line.substr(4) + "\n";
    else if (!text.empty()) break;
  }
  return linesOf(text);
}

// The README's keys in their order (`<algo>` standing for each algorithm),
// with "(after `x`)" moving a key to its place.
std::vector<std::string> readmeKeys() {
  std::string text = readmeSection("Acquisition record");
  text = text.substr(text.find("keys in this order"));
  text = text.substr(0, text.find("A value never spans lines"));
  std::vector<std::pair<std::string, std::string>> moves;
  const std::regex after(R"(`(\w+)` \(after `(\w+)`\))");
  for (std::sregex_iterator it(text.begin(), text.end(), after), end; it != end; ++it)
    moves.emplace_back((*it)[1], (*it)[2]);
  text = std::regex_replace(text, std::regex(R"(\([^)]*\))"), "");
  std::vector<std::string> keys;
  const std::regex key(R"(`([a-z_<>]+)`)");
  for (std::sregex_iterator it(text.begin(), text.end(), key), end; it != end; ++it) keys.push_back((*it)[1]);
  for (const auto& [moved, to] : moves) {
    std::erase(keys, moved);
    keys.insert(std::find(keys.begin(), keys.end(), to) + 1, moved);
  }
  return keys;
}

system_clock::time_point utc(const std::string& iso) {
  std::tm tm{};
  std::istringstream(iso) >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%SZ");
  return system_clock::from_time_t(::timegm(&tm));
}

// The sample's values, put into a record the way the run fills it in
// (fractions of a second in the times are dropped on writing).
AcquisitionLog fromSample(const Lines& sample) {
  std::map<std::string, std::string> f;
  AcquisitionLog log;
  for (const auto& [key, value] : sample) {
    f.emplace(key, value);
    if (key.starts_with("pi") || key == "first_block") log.protectionLines.emplace_back(key, value);
  }
  const auto n = [&](const std::string& key) { return std::stoull(f.at(key)); };
  log.program = f.at("program");
  log.version = f.at("version");
  log.host = f.at("host");
  log.start = utc(f.at("start_utc")) + 250ms;
  log.end = utc(f.at("end_utc")) + 999ms;
  log.source = {AcquiredSource::Kind::Drive,
                f.at("source_path"),
                n("source_size"),
                f.at("source_model"),
                f.at("source_serial"),
                static_cast<std::uint32_t>(n("source_sector_size")),
                f.at("source_pass_through") == "yes",
                f.at("source_access")};
  log.imagePath = f.at("image_path");
  log.mutate = f.at("sector_mutate") == "yes";
  log.sectorIn = static_cast<std::uint32_t>(n("sector_in"));
  log.sectorOut = static_cast<std::uint32_t>(n("sector_out"));
  log.sectorLayout = f.at("sector_layout");
  log.bytesRead = n("bytes_read");
  log.bytesWritten = n("bytes_written");
  log.outcome = f.at("outcome");
  log.outcomeOffset = n("outcome_offset");
  log.readErrors = {n("read_error")};
  log.imageHashes = {{HashAlgo::Sha256, f.at("image_sha256")}};
  log.sourceHashes = {{HashAlgo::Sha256, f.at("source_sha256")}};
  log.extraFile =
      ExtraFileRecord{f.at("extra_file"), n("extra_file_size"), {{HashAlgo::Sha256, f.at("extra_file_sha256")}}};
  return log;
}

TEST(AcquisitionLogFormat, WritesTheReadmesSampleFromItsValues) {
  const Lines sample = readmeSample();
  ASSERT_GT(sample.size(), 20u);
  EXPECT_EQ(linesOf(formatAcquisitionLog(fromSample(sample))), sample);
}

// Every key the program writes is one of the README's, in the README's
// order, and every key of the README is written by some job.
TEST(AcquisitionLogFormat, KeysAreTheReadmesInItsOrder) {
  const std::vector<std::string> keys = readmeKeys();
  ASSERT_GT(keys.size(), 40u);
  const Digests three = {{HashAlgo::Sha256, "a"}, {HashAlgo::Md5, "b"}, {HashAlgo::Sha1, "c"}};
  AcquisitionLog every = fromSample(readmeSample());
  every.stoppedBy = "Stop";
  every.heldReadAt = 4096;
  every.readErrors = {512, 8192};
  every.goPastErrors = AcquisitionLog::GonePast{3, 1536};
  every.imageHashes = every.sourceHashes = three;
  every.hashError = "starting md5 failed";
  every.verify = VerifyRecord{"Verify failed", three, three};
  every.extraFile->hashes = three;
  // The sample's protection lines, with a wrong reference tag's LBA and a
  // first block of nothing recognisable (the check's own lines are its test's).
  every.protectionLines.insert(every.protectionLines.end() - 1, {"pi_ref_tag_bad_lba", "9"});
  every.protectionLines.emplace_back("first_block", kFirstBlockUnrecognisedText);

  std::set<std::string> written;
  std::size_t last = 0;
  for (const auto& [key, value] : linesOf(formatAcquisitionLog(every))) {
    std::string name = key;
    for (const char* algo : {"_sha256", "_md5", "_sha1"})
      if (key.ends_with(algo)) name = key.substr(0, key.size() - std::strlen(algo)) + "_<algo>";
    const auto at = std::find(keys.begin(), keys.end(), name);
    ASSERT_NE(at, keys.end()) << key << " is not in the README";
    EXPECT_GE(static_cast<std::size_t>(at - keys.begin()), last) << key << " out of the README's order";
    last = static_cast<std::size_t>(at - keys.begin());
    written.insert(name);
  }
  EXPECT_EQ(written, std::set<std::string>(keys.begin(), keys.end()));
}

// A file job: no drive-only keys, no source digests for a straight copy,
// and values with control bytes kept on one line each. (What verifying
// writes is the run model's read-back rows'.)
TEST(AcquisitionLogFormat, FileJobWithOddTexts) {
  AcquisitionLog log;
  log.program = "mdimager";
  log.version = "1.2.3";
  log.host = "back\\slash";
  log.source = {AcquiredSource::Kind::ImageFile, "/op/odd\tdisk\r\n\x01\x7f.img", 4096, "model", "serial", 512, true};
  log.imagePath = "/images/line\nbreak.bin";
  log.bytesRead = log.bytesWritten = 4096;
  log.outcome = "Done.";
  log.imageHashes = {{HashAlgo::Sha256, "ba7816bf"}};
  log.sourceHashes = {{HashAlgo::Sha256, "not written for a straight job"}};
  EXPECT_EQ(formatAcquisitionLog(log),
            "program: mdimager\nversion: 1.2.3\nhost: back\\\\slash\n"
            "start_utc: 1970-01-01T00:00:00Z\nend_utc: 1970-01-01T00:00:00Z\n"
            "source_type: file\nsource_path: /op/odd\\tdisk\\r\\n\\x01\\x7F.img\nsource_size: 4096\n"
            "source_access: direct\nimage_path: /images/line\\nbreak.bin\n"
            "sector_mutate: no\nsector_in: 512\nsector_out: 512\nbytes_read: 4096\nbytes_written: 4096\n"
            "outcome: Done.\nimage_sha256: ba7816bf\n");
}

// A time before the epoch is the second it falls in. (Fractions dropped on
// writing are the README sample's; dates are the standard library's.)
TEST(IsoUtc, FormatsTheSecondInUtc) { EXPECT_EQ(isoUtc(system_clock::time_point{} - 500ms), "1969-12-31T23:59:59Z"); }

// A checksum file beside an image whose name the checksum line must escape
// is accepted by the coreutils tool run in the image's folder. (Every
// algorithm on a plain name is checked after the runs of the run model.)
TEST_F(TempDirTest, ChecksumFileOfAnOddNameIsAcceptedByTheCoreutilsCheck) {
  const auto image = patternBytes(70000, 5);
  const std::pair<HashAlgo, const char*> cases[] = {
      {HashAlgo::Sha256, "disk one .img"}, {HashAlgo::Sha1, "a\\b.bin"}, {HashAlgo::Md5, "two\nlines.bin"}};
  for (const auto& [algo, name] : cases) {
    const std::string tool = std::string(hashAlgoName(algo)) + "sum";
    if (!haveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    writeBytes(dir / name, image);
    const std::string checksumPath = checksumFilePath((dir / name).string(), algo);
    std::ofstream(checksumPath, std::ios::binary)
        << checksumFileText(digestsOf(image, {algo}).at(0).hex, (dir / name).string());
    const auto ok = shell("cd " + shellQuote(dir.string()) + " && " + tool + " -c --strict " +
                          shellQuote(fs::path(checksumPath).filename().string()));
    EXPECT_EQ(ok.exitCode, 0) << name << ": " << ok.output;
    EXPECT_NE(ok.output.find(": OK"), std::string::npos) << ok.output;
  }
}

}  // namespace
}  // namespace mdi::test
