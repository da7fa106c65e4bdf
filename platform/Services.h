#pragma once
// The platform services the core works through, handed in by the window
// (or a test) and never looked up.
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/CycleIo.h"
#include "platform/DriveTable.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/Launcher.h"
#include "platform/LocaleInfo.h"
#include "platform/MessageBox.h"
#include "platform/Pickers.h"
#include "platform/RawIo.h"
#include "platform/SystemInfo.h"

namespace mdi {

struct Services {
  Controls& ui;
  MessageBox& msg;
  Pickers& pickers;
  FileSystem& fs;
  FileAccess& files;
  DriveTable& drives;
  Clock& clock;
  EventPump& pump;
  Launcher& launcher;
  LocaleInfo& locale;
  CycleIoFactory& io;
  AtomicFile& records;  // the files written beside each image
  SystemInfo& system;
};

}  // namespace mdi
