// The Options menu: the hashes written beside every image, and whether
// images (and their sources) are read back once imaged. The choices hold
// for the window's life and for every run started in it.
#include <QMenuBar>

#include "app/frmMain.h"

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
  auto hash = [&o](HashAlgo algo) {
    return [&o, algo](bool on) { on ? o.hashes.add(algo) : o.hashes.remove(algo); };
  };
  item("Hash: SHA-256", "mnuSha256", o.hashes.contains(HashAlgo::Sha256), hash(HashAlgo::Sha256));
  item("Also MD5", "mnuMd5", o.hashes.contains(HashAlgo::Md5), hash(HashAlgo::Md5));
  item("Also SHA-1", "mnuSha1", o.hashes.contains(HashAlgo::Sha1), hash(HashAlgo::Sha1));
  options->addSeparator();
  item("Verify images after imaging", "mnuVerify", o.verifyImages, [&o](bool on) { o.verifyImages = on; });
  item("Re-read sources to verify", "mnuReread", o.rereadSources, [&o](bool on) { o.rereadSources = on; });
}

}  // namespace mdi
