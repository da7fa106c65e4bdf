#pragma once
// The services of the machine the program runs on that the window works
// through: files, records, clock, I/O paths, event pump, locale. main()
// lends them to the window; the benchmarks run the real window on them.
#include "app/frmMain.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixSystemInfo.h"
#include "platform/linux/UringCycleIo.h"
#include "platform/qt/QtServices.h"

namespace mdi {

struct HostServices {
  LinuxCycleIoFactory io{ioPathFromEnvironment()};
  PosixFileSystem fileSystem;
  PosixFileAccess files;
  PosixAtomicFile records;
  PosixSystemInfo system;
  MonotonicClock clock;
  QtEventPump pump;
  QtLocale locale;

  // Points every service of `deps` this holds at it.
  void lendTo(FrmMainDeps& deps) {
    deps.io = &io;
    deps.fs = &fileSystem;
    deps.files = &files;
    deps.records = &records;
    deps.system = &system;
    deps.clock = &clock;
    deps.pump = &pump;
    deps.locale = &locale;
  }
};

}  // namespace mdi
