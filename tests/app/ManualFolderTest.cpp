// Where the program finds its manual, on a real folder tree laid out as the
// build tree (manual beside the program) or as the install rules lay out a
// prefix (the program in bin/, the manual in the data folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/ManualFolder.h"
#include "tests/TestDir.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

enum class Chosen { ProgramFolder, InstalledFolder };

struct ManualCase {
  const char* name;
  bool besideProgram;  // a manual in the program's folder
  bool installed;      // a manual where the install rule puts it
  Chosen expected;
};
// Test listings name the case instead of dumping its bytes.
void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.name; }

class ManualFolder : public ::testing::TestWithParam<ManualCase> {
 protected:
  void SetUp() override {
    prefix = testDir("mdi-manual-");
    fs::remove_all(prefix);
    fs::create_directories(prefix / MDI_TEST_BIN_IN_PREFIX);
  }
  void TearDown() override { fs::remove_all(prefix); }
  static void writeManual(const fs::path& folder) {
    fs::create_directories(folder);
    std::ofstream(folder / kManualFileName) << "<html></html>";
  }
  fs::path prefix;
};

TEST_P(ManualFolder, BesideTheProgramFirstThenTheInstalledDataFolder) {
  const ManualCase& c = GetParam();
  const fs::path bin = prefix / MDI_TEST_BIN_IN_PREFIX;
  const fs::path installed = prefix / MDI_TEST_MANUAL_IN_PREFIX;
  if (c.besideProgram) writeManual(bin);
  if (c.installed) writeManual(installed);

  const std::string found = manualFolder(bin.string(), MDI_MANUAL_FROM_PROGRAM,
                                         [](const std::string& p) { return fs::is_regular_file(p); });

  if (c.expected == Chosen::ProgramFolder) EXPECT_EQ(found, bin.string());
  else EXPECT_EQ(fs::path(found), installed.lexically_normal());
  EXPECT_EQ(fs::is_regular_file(fs::path(found) / kManualFileName), c.besideProgram || c.installed);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ManualFolder,
    ::testing::Values(ManualCase{"BuildTree", true, false, Chosen::ProgramFolder},
                      ManualCase{"Installed", false, true, Chosen::InstalledFolder},
                      ManualCase{"BothPrefersBesideTheProgram", true, true, Chosen::ProgramFolder},
                      ManualCase{"NoneGivesTheProgramFolder", false, false, Chosen::ProgramFolder}),
    [](const ::testing::TestParamInfo<ManualCase>& i) { return std::string(i.param.name); });

TEST(ManualFolderLookup, WithoutAnInstalledFolderLooksOnlyBesideTheProgram) {
  std::vector<std::string> asked;
  const std::string found = manualFolder("/opt/x/bin", "", [&](const std::string& p) {
    asked.push_back(p);
    return false;
  });
  EXPECT_EQ(found, "/opt/x/bin");
  EXPECT_EQ(asked, std::vector<std::string>{"/opt/x/bin/Pellamy.html"});
}

}  // namespace
}  // namespace mdi
