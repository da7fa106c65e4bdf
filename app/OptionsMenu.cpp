// The Options menu: the hashes written beside every image, whether images
// (and their sources) are read back once imaged, how a sector-mutate run
// lays each source sector out, and whether a read error ends a job or is
// gone past (with how many more tries a bad sector gets). The choices hold for the window's life
// and for every run started in it.
#include <QActionGroup>
#include <QLineEdit>
#include <QMenuBar>
#include <functional>
#include <tuple>
#include <vector>

#include "app/frmMain.h"
#include "convert/SectorLayout.h"
#include "support/Val.h"

namespace mdi {

void frmMain::buildOptionsMenu() {
  QMenu* options = menuBar()->addMenu("Options");
  options->setObjectName("mnuOptions");
  auto& o = m_form.Options;
  // Checked state and the option it stands for move together whichever way
  // the item is operated (mouse, keyboard, accessibility).
  auto item = [&](const char* text, const char* name, bool on, std::function<void(bool)> apply) {
    QAction* a = options->addAction(text);
    a->setObjectName(name);
    a->setCheckable(true);
    a->setChecked(on);
    connect(a, &QAction::toggled, this, [apply = std::move(apply)](bool checked) { apply(checked); });
  };
  auto hash = [&o](HashAlgo algo) { return [&o, algo](bool on) { on ? o.hashes.add(algo) : o.hashes.remove(algo); }; };
  item("Hash: SHA-256", "mnuSha256", o.hashes.contains(HashAlgo::Sha256), hash(HashAlgo::Sha256));
  item("Also MD5", "mnuMd5", o.hashes.contains(HashAlgo::Md5), hash(HashAlgo::Md5));
  item("Also SHA-1", "mnuSha1", o.hashes.contains(HashAlgo::Sha1), hash(HashAlgo::Sha1));
  options->addSeparator();
  item("Verify images after imaging", "mnuVerify", o.verifyImages, [&o](bool on) { o.verifyImages = on; });
  item("Re-read sources to verify", "mnuReread", o.rereadSources, [&o](bool on) { o.rereadSources = on; });
  options->addSeparator();
  buildLayoutMenu(*options);
  options->addSeparator();
  item("Go past read errors", "mnuGoPast", o.goPastErrors, [&o](bool on) { o.goPastErrors = on; });
  buildRetryMenu(*options);
}

namespace {

// A submenu whose checkable items exclude each other; `apply` is called
// with the value of the item checked, however it is operated. The items,
// in order.
template <class T>
std::vector<QAction*> choices(QMenu& parent, const char* title, const char* name,
                              const std::vector<std::tuple<QString, const char*, T>>& items, T current,
                              std::function<void(T)> apply) {
  QMenu* menu = parent.addMenu(title);
  menu->setObjectName(name);
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  std::vector<QAction*> actions;
  for (const auto& [text, objectName, value] : items) {
    QAction* a = menu->addAction(text);
    a->setObjectName(objectName);
    a->setCheckable(true);
    a->setChecked(value == current);
    group->addAction(a);
    QObject::connect(a, &QAction::toggled, menu, [apply, value](bool on) {
      if (on) apply(value);
    });
    actions.push_back(a);
  }
  return actions;
}

QString textOf(SectorLayout layout) {
  const std::string_view text = layoutText(layout);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void frmMain::buildRetryMenu(QMenu& options) {
  auto& o = m_form.Options;
  choices<int>(options, "Retry passes", "mnuRetryPasses",
               {{"0", "mnuRetry0", 0}, {"1", "mnuRetry1", 1}, {"3", "mnuRetry3", 3}}, o.retryPasses,
               [&o](int passes) { o.retryPasses = passes; });
}

void frmMain::buildLayoutMenu(QMenu& options) {
  auto& o = m_form.Options;
  const auto actions =
      choices<SectorLayout>(options, "Sector layout", "mnuSectorLayout",
                            {{textOf(SectorLayout::DataFirst), "mnuDataFirst", SectorLayout::DataFirst},
                             {textOf(SectorLayout::DataLast), "mnuDataLast", SectorLayout::DataLast},
                             {textOf(SectorLayout::Groups4K), "mnuGroups4K", SectorLayout::Groups4K}},
                            o.layout, [&o](SectorLayout layout) { o.layout = layout; });
  QAction* groups = actions.back();
  // 4 KiB groups are offered while the sector boxes read 520 in and 512
  // out. A choice made earlier stays checked when they change; a run then
  // refuses the jobs it does not fit, naming them, rather than converting
  // them some other way than the operator chose.
  auto* in = findChild<QLineEdit*>("Text1");
  auto* out = findChild<QLineEdit*>("Text2");
  auto offer = [groups, in, out] {
    groups->setEnabled(Val(in->text().toStdString()) == kGroupSectorIn &&
                       Val(out->text().toStdString()) == kGroupSectorOut);
  };
  connect(in, &QLineEdit::textChanged, this, offer);
  connect(out, &QLineEdit::textChanged, this, offer);
  offer();
}

}  // namespace mdi
