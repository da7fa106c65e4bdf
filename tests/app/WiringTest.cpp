// The window works through the services it is handed and makes none of its
// own: each one is required, and the ones handed in are the ones it asks.
#include <gtest/gtest.h>

#include <QPushButton>
#include <optional>
#include <stdexcept>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct MissingService {
  const char* name;
  std::function<void(FrmMainDeps&)> drop;
};
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

#define MDI_DROP(member)                                 \
  MissingService {                                       \
#member, [](FrmMainDeps & d) { d.member = nullptr; } \
  }
INSTANTIATE_TEST_SUITE_P(Services, WindowWithoutService,
                         ::testing::Values(MDI_DROP(msg), MDI_DROP(pickers), MDI_DROP(launcher), MDI_DROP(drives),
                                           MDI_DROP(io), MDI_DROP(fs), MDI_DROP(files), MDI_DROP(records),
                                           MDI_DROP(system), MDI_DROP(clock), MDI_DROP(pump), MDI_DROP(locale),
                                           MDI_DROP(quit), MDI_DROP(openDocument)),
                         ByName());
#undef MDI_DROP

// Fakes in place of the system's own answers show which ones the window
// asks: the locale discovery formats sizes with, the home folder the image
// picker opens in, and the folders whose disks hold the system (named once,
// by whoever builds the window; discovery marks the drives under exactly
// those).
TEST(WindowServices, AreTheOnesHandedIn) {
  WindowHarness h;
  FakeLocale locale;
  locale.sep = Separators{"'", ";"};
  FakeSystemInfo system;
  system.home = "/srv/lab/operator";
  std::optional<Separators> listedWith;
  std::optional<std::vector<std::string>> systemFolders;
  FrmMainDeps deps = h.deps(std::filesystem::temp_directory_path().string(), [&](FormState& f, const Separators& sep) {
    listedWith = sep;
    systemFolders = f.SystemLetters;
  });
  deps.locale = &locale;
  deps.system = &system;
  deps.systemPaths = {"/", "/srv/imager/bin"};
  auto w = WindowHarness::start(std::move(deps));
  ASSERT_TRUE(listedWith.has_value());
  EXPECT_EQ(listedWith->group, "'");
  EXPECT_EQ(listedWith->decimal, ";");
  ASSERT_TRUE(systemFolders.has_value());
  EXPECT_EQ(*systemFolders, (std::vector<std::string>{"/", "/srv/imager/bin"}));
  w->findChild<QPushButton*>("Command4")->click();
  ASSERT_EQ(h.pickers.fileStartFolders.size(), 1u);
  EXPECT_EQ(h.pickers.fileStartFolders[0], "/srv/lab/operator");
}

}  // namespace
}  // namespace mdi
