#pragma once
// The fakes a window test hands to frmMain, and the dependency set made of
// them. Message boxes, pickers, the launcher, Exit and the help viewer are
// all recorded instead of reaching the desktop.
#include <functional>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "platform/fakes/FakeDriveTable.h"
#include "platform/fakes/Fakes.h"
#include "platform/linux/PosixFileAccess.h"

namespace mdi {

struct WindowHarness {
  FrmMainDeps deps(const std::string& programFolder,
                   std::function<void(FormState&, const Separators&)> listDrives = {}) {
    FrmMainDeps d;
    d.msg = &msg;
    d.pickers = &pickers;
    d.launcher = &launcher;
    d.drives = &drives;
    d.programFolder = programFolder;
    d.quit = [this] { ++quits; };
    d.openDocument = [this](const std::string& p) { opened.push_back(p); };
    d.listDrives = std::move(listDrives);
    return d;
  }
  FakeMessageBox msg;
  FakePickers pickers;
  FakeLauncher launcher;
  PosixFileAccess files;
  FakeDriveTable drives{files};
  int quits = 0;
  std::vector<std::string> opened;
};

}  // namespace mdi
