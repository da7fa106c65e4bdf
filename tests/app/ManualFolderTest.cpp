// Where the program finds its manual, on a real folder tree laid out as the
// build tree (manual beside the program) or as the install rules lay out a
// prefix (the program in bin/, the manual in the data folder).
#include <gtest/gtest.h>

#include <fstream>

#include "app/ManualFolder.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

struct ManualCase {
  const char* name;
  bool besideProgram;  // a manual in the program's folder
  bool installed;      // a manual where the install rule puts it
  bool installedChosen;
};
class ManualFolder : public ::testing::TestWithParam<ManualCase> {};

TEST_P(ManualFolder, BesideTheProgramFirstThenTheInstalledDataFolder) {
  const ManualCase& c = GetParam();
  const ScratchDir prefix("mdi-manual-");
  const fs::path bin = prefix.path / MDI_TEST_BIN_IN_PREFIX;
  const fs::path installed = prefix.path / MDI_TEST_MANUAL_IN_PREFIX;
  fs::create_directories(bin);
  for (const auto& [wanted, folder] : {std::pair{c.besideProgram, bin}, {c.installed, installed}}) {
    if (!wanted) continue;
    fs::create_directories(folder);
    std::ofstream(folder / kManualFileName) << "<html></html>";
  }
  const std::string found =
      manualFolder(bin.string(), MDI_MANUAL_FROM_PROGRAM, [](const std::string& p) { return fs::is_regular_file(p); });
  if (c.installedChosen) EXPECT_EQ(fs::path(found), installed.lexically_normal());
  else EXPECT_EQ(found, bin.string());
  EXPECT_EQ(fs::is_regular_file(fs::path(found) / kManualFileName), c.besideProgram || c.installed);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ManualFolder,
                         ::testing::Values(ManualCase{"BuildTree", true, false, false},
                                           ManualCase{"Installed", false, true, true},
                                           ManualCase{"BothPrefersBesideTheProgram", true, true, false},
                                           ManualCase{"NoneGivesTheProgramFolder", false, false, false}),
                         ByName());

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
