#pragma once
// What "nothing is cut off" means for the main window, checked the same way
// offscreen and on a real X server: long paths elided in the middle with
// their full text as tip, the columns that matter inside the frames.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QScrollBar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/ElidingLabel.h"
#include "app/GridView.h"
#include "app/frmMain.h"
#include "discovery/ListDrives.h"
#include "tests/app/WindowHarness.h"

namespace mdi {

// Elided in the middle: shorter, with the ellipsis, both ends kept.
inline void expectElidedInTheMiddle(const QString& shown, const QString& full, const char* what) {
  EXPECT_NE(shown, full) << what;
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << what << ": " << shown.toStdString();
  EXPECT_TRUE(full.startsWith(shown.left(4))) << what << ": " << shown.toStdString();
  EXPECT_TRUE(full.endsWith(shown.right(6))) << what << ": " << shown.toStdString();
}

// Every shown column lies inside the grid's viewport, with no horizontal
// scroll bar.
inline void expectColumnsFit(GridView* g, const char* what) {
  int total = 0;
  for (int c = 0; c < g->columnCount(); ++c)
    if (!g->isColumnHidden(c)) total += g->columnWidth(c);
  EXPECT_LE(total, g->viewport()->width()) << what;
  EXPECT_FALSE(g->horizontalScrollBar()->isVisible()) << what;
}

// A grid cell's text as drawn: one line, elided in the middle.
inline void expectCellElidedInTheMiddle(GridView* g, int row, int col, const QString& full, const char* what) {
  EXPECT_FALSE(g->wordWrap()) << what << ": a wrapped cell is cut at the end of its last line";
  EXPECT_EQ(g->textElideMode(), Qt::ElideMiddle) << what;
  expectElidedInTheMiddle(g->shownText(row, col), full, what);
}

inline void expectWhole(GridView* g, int row, int col, const char* what) {
  EXPECT_EQ(g->shownText(row, col), g->item(row - 1, col - 1)->text()) << what;
}

// The window at its designed size with a long target folder, a drive of the
// widest size text and an image file with a long name in the drive grid.
struct LongTextsWindow {
  void open(const std::string& prefix) {
    namespace fs = std::filesystem;
    dir = testDir(prefix);
    fs::remove_all(dir);
    target = dir / "images of the storage array taken in the second week" / "customer 4711 shelf 3";
    image = dir / "source images" / "array-shelf-3-disk-17-serial-WD-WCC4N0123456-520-byte-sectors.img";
    fs::create_directories(image.parent_path());
    std::ofstream(image) << "x";
    w = std::make_unique<frmMain>(h.deps(dir.string(), [](FormState& f, const Separators& sep) {
      DriveRecord d;
      d.number = 0;
      d.deviceId = "/dev/sdb";
      d.model = "ATA WDC WD10EFRX-68FYTN0";
      d.size = 1099511627776ULL;  // "1,024.0 Gb", the widest size text
      d.bytesPerSector = 520;
      d.mediaPresent = true;
      AddDriveRow(f.iGrid1, d, sep);
    }));
    w->startUp();
    h.pickers.folders = {target.string()};
    w->findChild<QPushButton*>("Command1")->click();
    h.pickers.files.push_back({image.string()});
    w->findChild<QPushButton*>("Command4")->click();
  }
  void close() {
    QToolTip::hideText();
    w.reset();
    std::filesystem::remove_all(dir);
  }
  GridView* grid(const char* n) { return w->findChild<GridView*>(n); }
  std::filesystem::path dir, target, image;
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

}  // namespace mdi
