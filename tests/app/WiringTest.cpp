// The window works through the services it is handed and makes none of its
// own: each one is required, and the ones handed in are the ones it asks.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct MissingService {
  const char* name;
  std::function<void(FrmMainDeps&)> drop;
};
void PrintTo(const MissingService& c, std::ostream* os) { *os << c.name; }

class WindowWithoutService : public ::testing::TestWithParam<MissingService> {};

TEST_P(WindowWithoutService, IsRefusedNamingIt) {
  WindowHarness h;
  FrmMainDeps deps = h.deps(std::filesystem::temp_directory_path().string());
  GetParam().drop(deps);
  try {
    frmMain w(std::move(deps));
    FAIL() << "built without " << GetParam().name;
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), std::string("frmMain: no ") + GetParam().name + " handed in");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Services, WindowWithoutService,
    ::testing::Values(MissingService{"msg", [](FrmMainDeps& d) { d.msg = nullptr; }},
                      MissingService{"pickers", [](FrmMainDeps& d) { d.pickers = nullptr; }},
                      MissingService{"launcher", [](FrmMainDeps& d) { d.launcher = nullptr; }},
                      MissingService{"drives", [](FrmMainDeps& d) { d.drives = nullptr; }},
                      MissingService{"io", [](FrmMainDeps& d) { d.io = nullptr; }},
                      MissingService{"fs", [](FrmMainDeps& d) { d.fs = nullptr; }},
                      MissingService{"files", [](FrmMainDeps& d) { d.files = nullptr; }},
                      MissingService{"records", [](FrmMainDeps& d) { d.records = nullptr; }},
                      MissingService{"system", [](FrmMainDeps& d) { d.system = nullptr; }},
                      MissingService{"clock", [](FrmMainDeps& d) { d.clock = nullptr; }},
                      MissingService{"pump", [](FrmMainDeps& d) { d.pump = nullptr; }},
                      MissingService{"locale", [](FrmMainDeps& d) { d.locale = nullptr; }},
                      MissingService{"quit", [](FrmMainDeps& d) { d.quit = nullptr; }},
                      MissingService{"openDocument", [](FrmMainDeps& d) { d.openDocument = nullptr; }}),
    [](const auto& info) { return std::string(info.param.name); });

// Fakes in place of the system's own answers show which ones the window
// asks: the locale discovery formats sizes with, and the home folder the
// image picker opens in.
TEST(WindowServices, AreTheOnesHandedIn) {
  WindowHarness h;
  FakeLocale locale;
  locale.sep = Separators{"'", ";"};
  FakeSystemInfo system;
  system.home = "/srv/lab/operator";
  std::optional<Separators> listedWith;
  FrmMainDeps deps = h.deps(std::filesystem::temp_directory_path().string(),
                            [&](FormState&, const Separators& sep) { listedWith = sep; });
  deps.locale = &locale;
  deps.system = &system;
  frmMain w(std::move(deps));
  w.startUp();
  ASSERT_TRUE(listedWith.has_value());
  EXPECT_EQ(listedWith->group, "'");
  EXPECT_EQ(listedWith->decimal, ";");
  w.findChild<QPushButton*>("Command4")->click();
  ASSERT_EQ(h.pickers.fileStartFolders.size(), 1u);
  EXPECT_EQ(h.pickers.fileStartFolders[0], "/srv/lab/operator");
}

// The folders whose disks hold the system are named once, by whoever builds
// the window, and discovery marks the drives under exactly those.
TEST(WindowServices, DiscoveryIsGivenTheSystemFoldersHandedIn) {
  WindowHarness h;
  std::optional<std::vector<std::string>> systemFolders;
  FrmMainDeps deps = h.deps(std::filesystem::temp_directory_path().string(),
                            [&](FormState& f, const Separators&) { systemFolders = f.SystemLetters; });
  deps.systemPaths = {"/", "/srv/imager/bin"};
  frmMain w(std::move(deps));
  w.startUp();
  ASSERT_TRUE(systemFolders.has_value());
  EXPECT_EQ(*systemFolders, (std::vector<std::string>{"/", "/srv/imager/bin"}));
}

}  // namespace
}  // namespace mdi
