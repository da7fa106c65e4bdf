// The Options menu: the hashes written beside every image, whether images
// (and their sources) are read back once imaged, how a sector-mutate run
// lays each source sector out, and whether a read error ends a job or is
// gone past (with how many more tries a bad sector gets). The choices hold for the window's life
// and for every run started in it.
#include <QActionGroup>
#include <QLineEdit>
#include <QMenuBar>

#include "app/frmMain.h"
#include "engine/SectorLayout.h"
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

void frmMain::buildRetryMenu(QMenu& options) {
  QMenu* menu = options.addMenu("Retry passes");
  menu->setObjectName("mnuRetryPasses");
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  auto& o = m_form.Options;
  for (const int passes : {0, 1, 3}) {
    QAction* a = menu->addAction(QString::number(passes));
    a->setObjectName(QString("mnuRetry%1").arg(passes));
    a->setCheckable(true);
    a->setChecked(o.retryPasses == passes);
    group->addAction(a);
    connect(a, &QAction::toggled, this, [&o, passes](bool on) {
      if (on) o.retryPasses = passes;
    });
  }
}

void frmMain::buildLayoutMenu(QMenu& options) {
  QMenu* menu = options.addMenu("Sector layout");
  menu->setObjectName("mnuSectorLayout");
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  auto& o = m_form.Options;
  QAction* groups = nullptr;
  for (const auto& [layout, name] :
       {std::pair{SectorLayout::DataFirst, "mnuDataFirst"}, std::pair{SectorLayout::DataLast, "mnuDataLast"},
        std::pair{SectorLayout::Groups4K, "mnuGroups4K"}}) {
    const std::string_view text = layoutText(layout);
    QAction* a = menu->addAction(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    a->setObjectName(name);
    a->setCheckable(true);
    a->setChecked(o.layout == layout);
    group->addAction(a);
    connect(a, &QAction::toggled, this, [&o, layout](bool on) {
      if (on) o.layout = layout;
    });
    if (layout == SectorLayout::Groups4K) groups = a;
  }
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
