// Sector-mutate runs through each sector layout, end to end on real files.
// However a run ends, the image and its .extra hold the same stretch of the
// source from its start, as the layouts' own definitions (layoutOracle) cut
// it: together they rebuild it, and so does the README's rebuild script.
// From sectors with protection information, the status and the record give
// the check's true counts, and a drive's reported type decides whether
// reference tags count: type 1 ties them to the LBA, type 2 tags follow the
// commands that wrote them.
#include "run/StepSize.h"
#include "tests/engine/RunFixture.h"
#include "tests/layouts/PiSectors.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

// What a run from sectors with protection information reports.
struct PiCase {
  std::string kinds;  // the source, one letter per sector, see PiSectors.h
  int driveType;      // the PI type a drive reports; 0: the source is an image file
  const char* bad;    // pi_bad in the record; "" when no PI is reported
  std::vector<std::string> badLbas;
  bool firstBlockUnrecognised;
  const char* refTag;  // pi_ref_tag in the record
};
struct LayoutCase {
  const char* name;
  SectorLayout layout;
  int s, t;
  std::size_t sectors;  // whole source sectors, then `tail` bytes more
  std::size_t tail;
  const char* status = "Done.";
  // Ends the run short of the source's end (a Stop, a read error), if given.
  std::function<void(RunFixture&, const std::string& src)> end = {};
  std::optional<PiCase> pi = {};  // else the source is pattern bytes
  bool verify = false;            // images and sources read back
};

// The rebuild script the README gives operators, as a file; "" without python3.
std::string readmeScript(const fs::path& dir) {
  if (!haveTool("python3")) {
    std::cout << "python3 is not installed: the README's rebuild script is not run\n";
    return {};
  }
  const std::string readme = fileText(MDI_README);
  const auto start = readme.find("```python\n");
  EXPECT_NE(start, std::string::npos) << "the README has no rebuild script";
  if (start == std::string::npos) return {};
  const auto body = start + 10;
  std::ofstream(dir / "rebuild.py") << readme.substr(body, readme.find("```", body) - body);
  return (dir / "rebuild.py").string();
}

class EveryLayout : public RunFixture, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EveryLayout, ImageAndExtraAreTheLayoutsSplitOfWhatWasCopiedAndRebuildIt) {
  const LayoutCase& c = GetParam();
  const auto s = static_cast<std::size_t>(c.s), t = static_cast<std::size_t>(c.t);
  setMutate(true);
  form.Options.layout = c.layout;
  const Bytes source = c.pi ? sectors(c.pi->kinds, 0) : patternBytes(c.sectors * s + c.tail, c.sectors);
  const std::string path = src("src.img", source);
  if (c.pi && c.pi->driveType) {
    drives.add(3, {DriveIdentity{"/dev/sdx", source.size(), "0x5000c500a1b2c3d4"}, path, 0, ""});
    drives.describe(3, {"ARRAY DISK", "Z1", 520, c.pi->driveType});
    addDriveJob("3", static_cast<std::int64_t>(source.size()), "", "520");
  } else {
    addFileJob(path, -1, std::to_string(c.s), std::to_string(c.t));
  }
  if (c.end) c.end(*this, path);
  form.Options.verifyImages = form.Options.rereadSources = c.verify;
  controller.RunClicked();
  ASSERT_EQ(status(1), c.status) << (msg.shown.empty() ? "" : msg.shown[0].text);

  const auto back = rebuilt(c.layout, c.s, c.t);
  ASSERT_TRUE(back) << "the image and its .extra disagree";
  if (c.end) {
    ASSERT_GT(back->size(), 0u);
    ASSERT_LT(back->size(), source.size());
    EXPECT_EQ(back->size() % s, 0u) << "whole sectors";
  } else {
    EXPECT_EQ(back->size(), source.size());
  }
  const Bytes copied(source.begin(), source.begin() + static_cast<long>(std::min(back->size(), source.size())));
  EXPECT_TRUE(*back == copied) << "not the source's start: " << firstDifference(*back, copied);
  const Split want = layoutOracle(c.layout, s, t, copied);
  const Bytes image = readFile(output(1));
  EXPECT_TRUE(image == want.image) << firstDifference(image, want.image);
  if (want.extra.empty()) {
    EXPECT_FALSE(fs::exists(extraOf(1))) << "nothing is left out, so no .extra";
  } else {
    const Bytes extra = readFile(extraOf(1));
    EXPECT_TRUE(extra == want.extra) << firstDifference(extra, want.extra);
  }
  const std::string log = record(1);
  EXPECT_EQ(field(log, "sector_layout"), layoutText(c.layout));
  EXPECT_EQ(field(log, "extra_file"), want.extra.empty() ? "" : extraOf(1));
  if (c.pi) {
    EXPECT_EQ(field(log, "pi_bad"), c.pi->bad);
    EXPECT_EQ(fields(log, "pi_ref_tag_bad_lba"), c.pi->badLbas);
    EXPECT_EQ(!field(log, "first_block").empty(), c.pi->firstBlockUnrecognised);
    EXPECT_EQ(field(log, "pi_ref_tag"), c.pi->refTag);
  }

  // The README's script, run as an operator would, gives the same back.
  const std::string script = readmeScript(dir);
  if (script.empty()) return;
  const char* word = c.layout == SectorLayout::DataFirst  ? "first"
                     : c.layout == SectorLayout::DataLast ? "last"
                                                          : "groups";
  const std::string extra = fs::exists(extraOf(1)) ? extraOf(1) : "/dev/null";
  const std::string cmd = "python3 '" + script + "' " + word + " " + std::to_string(c.s) + " " + std::to_string(c.t) +
                          " '" + output(1) + "' '" + extra + "' '" + (dir / "raw").string() + "'";
  const auto run = shell(cmd);
  ASSERT_EQ(run.exitCode, 0) << cmd << "\n" << run.output;
  const Bytes raw = readFile(dir / "raw");
  EXPECT_TRUE(raw == copied) << "rebuild.py: " << firstDifference(raw, copied);
}

std::string kinds(std::initializer_list<std::pair<std::size_t, char>> runs) {
  std::string k;
  for (auto [n, c] : runs) k.append(n, c);
  return k;
}
// Two sectors whose reference tags are of another LBA.
const std::string kTwoBadTags = kinds({{20, 'G'}, {1, 'R'}, {99, 'G'}, {1, 'R'}, {79, 'G'}});
LayoutCase pi(const char* name, const char* status, PiCase c, bool verify = false) {
  return {name, SectorLayout::DataFirst, 520, 512, 0, 0, status, {}, std::move(c), verify};
}
// A source of six main-pass steps, ended short.
LayoutCase ended(const char* name, SectorLayout layout, const char* status,
                 std::function<void(RunFixture&, const std::string& src)> end) {
  return {name, layout, 520, 512, 128 * 6 * blocksPerStep(128 * 520, true), 0, status, std::move(end)};
}
void stopAt2(RunFixture& f, const std::string&) { f.pressStopAt(2); }

// Sources of several main-pass blocks, then a partial sector or group, one
// or two per layout (every pair, and tails of every length, are converted
// block by block in SectorLayoutTest); runs ended short; sectors with
// protection information (each kind of sector and first block:
// ProtectionInfoTest).
const LayoutCase kLayoutCases[] = {
    {"DataFirst_520_to_512", SectorLayout::DataFirst, 520, 512, 3 * 128 + 7, 300},
    {"DataFirst_528_to_520", SectorLayout::DataFirst, 528, 520, 3 * 126 + 5, 524},
    {"DataFirst_512_to_520", SectorLayout::DataFirst, 512, 520, 3 * 126 + 3, 100},
    {"DataLast_524_to_512", SectorLayout::DataLast, 524, 512, 3 * 128 + 2, 400},
    {"DataLast_520_to_520", SectorLayout::DataLast, 520, 520, 3 * 128, 77},
    {"Groups_last_group_into_its_check", SectorLayout::Groups4K, 520, 512, 3 * 128 + 7, 500},
    {"Groups_partial_sector", SectorLayout::Groups4K, 520, 512, 2 * 128 + 3, 130},
    ended("StopDataFirst", SectorLayout::DataFirst, "Stopped", stopAt2),
    ended("StopDataLast", SectorLayout::DataLast, "Stopped",
          [](RunFixture& f, const std::string&) { f.pressStopAt(3); }),
    ended("StopGroups", SectorLayout::Groups4K, "Stopped", stopAt2),
    ended("ReadErrorGroups", SectorLayout::Groups4K, "Read Error ... at byte 156,000",
          [](RunFixture& f, const std::string& p) {
            f.files.badRanges[p] = {{520 * 300, 520 * 301, EIO, true}};
          }),
    ended("ReadErrorDataLast", SectorLayout::DataLast, "Read Error ... at byte 104,100",
          [](RunFixture& f, const std::string& p) {
            f.files.badRanges[p] = {{520 * 200 + 100, 520 * 201, EIO, false}};
          }),
    pi("PiAllGood", "Done. PI: 0 bad", PiCase(kinds({{300, 'G'}}), 0, "0", {}, false, "checked")),
    pi("PiBadGuardsAndTagsAcrossBlocks", "Done. PI: 3 bad",
       PiCase(kinds({{100, 'G'}, {1, 'B'}, {50, 'G'}, {1, 'R'}, {100, 'G'}, {1, 'X'}, {10, 'E'}, {5, 'F'}, {40, 'G'}}),
              0, "3", {"151", "252"}, false, "checked")),
    pi("PiDriveVerified", "Done. Verified PI: 2 bad", PiCase(kTwoBadTags, 1, "2", {"20", "120"}, false, "checked"),
       true),
    pi("PiNoneSaysNothing", "Done.", PiCase(kinds({{300, 'N'}}), 0, "", {}, true, "")),
    pi("PiDriveOfType1CountsReferenceTags", "Done. PI: 2 bad",
       PiCase(kTwoBadTags, 1, "2", {"20", "120"}, false, "checked")),
    pi("PiDriveOfType2DoesNot", "Done. PI: 0 bad", PiCase(kTwoBadTags, 2, "0", {}, false, "not checked")),
};
INSTANTIATE_TEST_SUITE_P(Layouts, EveryLayout, ::testing::ValuesIn(kLayoutCases), ByName{});

}  // namespace
}  // namespace mdi::test
