// Sector-mutate runs through each sector layout, end to end on real files:
// the image and its .extra against the layouts' own definitions
// (layoutOracle), the two rebuilding the source whatever way the run ended,
// and the README's rebuild script giving the source back too.
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using test::PrintTo;

struct LayoutCase {
  const char* name;
  SectorLayout layout;
  int s, t;
  std::size_t sectors;  // whole source sectors, then `tail` bytes more
  std::size_t tail;
};

// The rebuild script the README gives operators, as a file; "" without python3.
std::string readmeScript(const fs::path& dir) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
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

TEST_P(EveryLayout, ImageAndExtraAreTheLayoutsSplitAndRebuildTheSource) {
  const LayoutCase& c = GetParam();
  setMutate(true);
  form.Options.layout = c.layout;
  const Bytes source = patternBytes(c.sectors * static_cast<std::size_t>(c.s) + c.tail, c.sectors);
  addFileJob(src("src.img", source), -1, std::to_string(c.s), std::to_string(c.t));
  controller.RunClicked();
  ASSERT_EQ(status(1), "Done.") << (msg.shown.empty() ? "" : msg.shown[0].text);

  const Split want = layoutOracle(c.layout, static_cast<std::size_t>(c.s), static_cast<std::size_t>(c.t), source);
  const Bytes image = readFile(output(1));
  EXPECT_TRUE(image == want.image) << firstDifference(image, want.image);
  if (want.extra.empty()) {
    EXPECT_FALSE(fs::exists(extraOf(1))) << "nothing is left out, so no .extra";
  } else {
    const Bytes extra = readFile(extraOf(1));
    EXPECT_TRUE(extra == want.extra) << firstDifference(extra, want.extra);
  }
  const auto back = rebuilt(c.layout, c.s, c.t);
  ASSERT_TRUE(back);
  EXPECT_TRUE(*back == source) << firstDifference(*back, source);
  EXPECT_EQ(field(record(1), "sector_layout"), layoutText(c.layout));
  EXPECT_EQ(field(record(1), "extra_file"), want.extra.empty() ? "" : extraOf(1));

  // The README's script, run as an operator would, gives the source back too.
  const std::string script = readmeScript(dir);
  if (script.empty()) return;
  const char* word = c.layout == SectorLayout::DataFirst ? "first" : c.layout == SectorLayout::DataLast ? "last" : "groups";
  const std::string extra = fs::exists(extraOf(1)) ? extraOf(1) : "/dev/null";
  const std::string cmd = "python3 '" + script + "' " + word + " " + std::to_string(c.s) + " " + std::to_string(c.t) +
                          " '" + output(1) + "' '" + extra + "' '" + (dir / "raw").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const Bytes raw = readFile(dir / "raw");
  EXPECT_TRUE(raw == source) << "rebuild.py: " << firstDifference(raw, source);
}

// Sources of several main-pass blocks, then a partial sector or group.
constexpr LayoutCase kLayoutCases[] = {
    {"DataFirst_520_to_512", SectorLayout::DataFirst, 520, 512, 3 * 128 + 7, 300},
    {"DataFirst_522_to_512", SectorLayout::DataFirst, 522, 512, 2 * 256 + 9, 517},
    {"DataFirst_528_to_512", SectorLayout::DataFirst, 528, 512, 3 * 128 + 1, 520},
    {"DataFirst_528_to_520", SectorLayout::DataFirst, 528, 520, 3 * 126 + 5, 524},
    {"DataFirst_512_to_520", SectorLayout::DataFirst, 512, 520, 3 * 126 + 3, 100},
    {"DataLast_520_to_512", SectorLayout::DataLast, 520, 512, 3 * 128 + 7, 5},
    {"DataLast_524_to_512", SectorLayout::DataLast, 524, 512, 3 * 128 + 2, 400},
    {"DataLast_528_to_520", SectorLayout::DataLast, 528, 520, 3 * 126 + 5, 12},
    {"DataLast_520_to_520", SectorLayout::DataLast, 520, 520, 3 * 128, 77},
    {"Groups_whole_groups", SectorLayout::Groups4K, 520, 512, 3 * 128, 0},
    {"Groups_last_group_short", SectorLayout::Groups4K, 520, 512, 3 * 128 + 5, 0},
    {"Groups_last_group_into_its_check", SectorLayout::Groups4K, 520, 512, 3 * 128 + 7, 500},
    {"Groups_partial_sector", SectorLayout::Groups4K, 520, 512, 2 * 128 + 3, 130},
};
INSTANTIATE_TEST_SUITE_P(Layouts, EveryLayout, ::testing::ValuesIn(kLayoutCases), ByName{});

struct EndCase {
  const char* name;
  SectorLayout layout;
  std::function<void(RunFixture&, const std::string& src)> arrange;
  const char* status;
};

class EveryEnd : public RunFixture, public ::testing::WithParamInterface<EndCase> {};

// However a job ends, its image and .extra hold the same stretch of the
// source, from its start: together they give it back exactly.
TEST_P(EveryEnd, ImageAndExtraStillRebuildASourcePrefix) {
  const EndCase& c = GetParam();
  setMutate(true);
  form.Options.layout = c.layout;
  const Bytes source = patternBytes(520 * 128 * 6, 3);
  const std::string path = src("src.img", source);
  addFileJob(path, -1, "520", "512");
  c.arrange(*this, path);
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const auto back = rebuilt(c.layout, 520, 512);
  ASSERT_TRUE(back) << "the image and its .extra disagree";
  ASSERT_GT(back->size(), 0u);
  ASSERT_LT(back->size(), source.size());
  EXPECT_TRUE(std::equal(back->begin(), back->end(), source.begin())) << "not a prefix of the source";
  EXPECT_EQ(back->size() % 520, 0u) << "whole sectors";
}

void stopAt2(RunFixture& f, const std::string&) { f.pressStopAt(2); }
const EndCase kEndCases[] = {
    {"StopDataFirst", SectorLayout::DataFirst, stopAt2, "Stopped"},
    {"StopDataLast", SectorLayout::DataLast, [](RunFixture& f, const std::string&) { f.pressStopAt(3); }, "Stopped"},
    {"StopGroups", SectorLayout::Groups4K, stopAt2, "Stopped"},
    {"ReadErrorGroups", SectorLayout::Groups4K,
     [](RunFixture& f, const std::string& p) { f.files.badRanges[p] = {{520 * 300, 520 * 301, EIO, true}}; },
     "Read Error ... at byte 156,000"},
    {"ReadErrorDataLast", SectorLayout::DataLast,
     [](RunFixture& f, const std::string& p) { f.files.badRanges[p] = {{520 * 200 + 100, 520 * 201, EIO, false}}; },
     "Read Error ... at byte 104,100"},
};
INSTANTIATE_TEST_SUITE_P(Ends, EveryEnd, ::testing::ValuesIn(kEndCases), ByName{});

}  // namespace
}  // namespace mdi::test
