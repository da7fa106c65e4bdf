#pragma once
// Everything the main window holds besides its widgets: both grids (the
// only store of drives and jobs), the run variables and the editing state.
// Owned by the window; no copies, no globals.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jobs/RunState.h"
#include "platform/DeviceIdentity.h"
#include "support/GridModel.h"
#include "support/Hasher.h"
#include "support/SectorLayoutKind.h"

namespace mdi {

struct FormState {
  GridModel iGrid1;  // drives and added image files
  GridModel iGrid2;  // the job list
  RunState run;
  // Folders whose disks hold the system ("/" and the program's folder), as
  // start-up is given them; discovery marks the drives under them.
  std::vector<std::string> SystemLetters;
  std::string SystemDisks;      // their device nodes, each followed by ","
  std::int32_t ClickedRow = 0;  // last mouse press on a job-grid data row
  std::int32_t ClickedCol = 0;
  std::string LastImageFolder;  // folder of the last added image, ends in "/"
  std::string HelpFile;         // the manual beside the program
  std::int32_t OutputBlockSize = 65536;
  bool running = false;  // a run is between lock and unlock
  // Block devices added as image files, as they were when listed, by the
  // path in the row; a run refuses one that no longer holds that medium.
  std::map<std::string, BlockDeviceInfo> ListedDevices;
  // The Options menu: what each image gets beside it and how sectors are
  // converted, for the window's life.
  struct RecordOptions {
    HashAlgos hashes{HashAlgo::Sha256};
    bool verifyImages = false;   // read every complete image back and compare
    bool rereadSources = false;  // and read its source again too
    // How a sector-mutate run splits each source sector between the image
    // and its `.extra`.
    SectorLayout layout = SectorLayout::DataFirst;
    // A read error does not end a job: it reads around the failing area
    // and comes back for it sector by sector, then retries what stays bad
    // this many more times (0, 1 or 3).
    bool goPastErrors = false;
    int retryPasses = 0;
  } Options;
  std::string ProgramVersion;  // major.minor.patch, for the records
};

}  // namespace mdi
