// The window works through the services it is handed and makes none of its
// own: each one is required, and the ones handed in are the ones it asks.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

#define MDI_DROP(member)                                 \
  {                                                      \
#member, [](FrmMainDeps & d) { d.member = nullptr; } \
  }
const std::pair<const char*, void (*)(FrmMainDeps&)> kServices[] = {
    MDI_DROP(msg),  MDI_DROP(pickers), MDI_DROP(launcher), MDI_DROP(drives),      MDI_DROP(io),
    MDI_DROP(fs),   MDI_DROP(files),   MDI_DROP(records),  MDI_DROP(system),      MDI_DROP(clock),
    MDI_DROP(pump), MDI_DROP(locale),  MDI_DROP(quit),     MDI_DROP(openDocument)};
#undef MDI_DROP

TEST(WindowWithoutAService, IsRefusedNamingIt) {
  for (const auto& [name, drop] : kServices) {
    SCOPED_TRACE(name);
    WindowHarness h;
    FrmMainDeps deps = h.deps(std::filesystem::temp_directory_path().string());
    drop(deps);
    try {
      frmMain w(std::move(deps));
      ADD_FAILURE() << "built without " << name;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string("frmMain: no ") + name + " handed in");
    }
  }
}

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
  EXPECT_EQ(std::tuple(listedWith->group, listedWith->decimal), std::tuple("'", ";"));
  EXPECT_EQ(systemFolders, (std::vector<std::string>{"/", "/srv/imager/bin"}));
  child<QPushButton>(*w, "Command4")->click();
  EXPECT_EQ(h.pickers.fileStartFolders, std::vector<std::string>{"/srv/lab/operator"});
}

}  // namespace
}  // namespace mdi
