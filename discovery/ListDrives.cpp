#include "discovery/ListDrives.h"

#include <algorithm>
#include <cctype>

#include "discovery/FormatSize.h"

namespace mdi {

namespace {
std::string asciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
std::string asciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}
void removeAll(std::string& s, const std::string& what) {
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at)) s.erase(at, what.size());
}
// Whether `node` is one of the nodes of SystemDisks ("node," each).
bool isSystemNode(const std::string& systemDisks, const std::string& node) {
  for (std::size_t at = 0; at < systemDisks.size();) {
    const std::size_t comma = std::min(systemDisks.find(',', at), systemDisks.size());
    if (systemDisks.compare(at, comma - at, node) == 0 && comma - at == node.size()) return true;
    at = comma + 1;
  }
  return false;
}
}  // namespace

void setUpDriveGrid(GridModel& grid) {
  struct Col {
    const char* header;
    int width;
    bool visible;
  };
  static constexpr Col kCols[] = {{"ID", 45, true},      {"Model", 155, true}, {"Size", 55, true}, {"PNP", 0, false},
                                  {"Size I", 60, false}, {"BPS", 75, true},    {"Bus", 50, true},  {"_ID", 50, true}};
  grid.setColumnCount(8);
  for (int c = 1; c <= 8; ++c) {
    const Col& col = kCols[c - 1];
    grid.setHeader(c, col.header);
    grid.setColumnWidth(c, col.width);
    grid.setColumnVisible(c, col.visible);
  }
}

std::string cleanModel(const std::string& model) {
  // Only ASCII letters change case, so other bytes (UTF-8 names) pass intact.
  std::string s = asciiLower(model);
  removeAll(s, "scsi disk device");
  return asciiUpper(s);
}

bool AddDriveRow(GridModel& grid, const DriveRecord& d, const Separators& sep) {
  if (d.size == 0 && !d.passThroughDenied) return false;
  const std::string model = cleanModel(d.model);
  if (model.find("CONFIG") != std::string::npos) return false;
  const std::string sizeText = std::to_string(d.size);
  const int row = grid.addRow();
  grid.setValue(row, 1, static_cast<std::int64_t>(d.number));
  grid.setValue(row, 2, model);
  // A disk this user may not ask for its size: its tip says why.
  grid.setValue(row, 3, d.passThroughDenied ? std::string("?") : FormatSize(sizeText, sep));
  grid.setValue(row, 4, d.pnpDeviceId);
  grid.setValue(row, 5, sizeText);
  grid.setValue(row, 6, static_cast<std::int64_t>(d.bytesPerSector));
  return true;
}

bool AddListedDriveRow(GridModel& grid, const DriveRecord& d, const std::string& systemDisks, const Separators& sep) {
  if (!AddDriveRow(grid, d, sep)) return false;
  if (!isSystemNode(systemDisks, d.deviceId)) return true;
  const int row = grid.rowCount();
  for (int c = 1; c <= grid.columnCount(); ++c) {
    grid.setBackColor(row, c, kSystemDriveBack);
    grid.setForeColor(row, c, kSystemDriveFore);
  }
  return true;
}

DriveListing GatherDrives(DriveEnumerator& drives, const std::vector<std::string>& systemPaths) {
  DriveListing listing{drives.drives(), {}};
  std::vector<DriveRecord>& records = listing.records;
  // Disks holding the system, in the enumerator's order, once per system path.
  std::string& systemDisks = listing.systemDisks;
  for (const std::string& path : systemPaths) {
    const DrivesUnder under = drives.drivesUnder(path);
    for (DriveRecord& d : records) {
      const bool found = std::find(under.numbers.begin(), under.numbers.end(), d.number) != under.numbers.end();
      if (!found && under.failure.empty()) continue;
      // Not known to be off the system is not known to be safe.
      if (!found)
        d.notes.push_back("Counted as a system drive: the drives under " + path + " could not all be found (" +
                          under.failure + ")");
      systemDisks += d.deviceId + ",";
    }
  }
  // No disk under the system (running from RAM or an overlay): every drive
  // is still listed, none is marked.
  return listing;
}

std::vector<DriveRecord> ShowDrives(FormState& form, DriveListing listing, const Separators& sep) {
  GridModel& grid = form.iGrid1;
  grid.removeRows(1, grid.rowCount());
  form.SystemDisks = listing.systemDisks;
  for (const DriveRecord& d : listing.records)
    if (d.listable()) AddListedDriveRow(grid, d, listing.systemDisks, sep);
  grid.sortByColumn(1);
  return std::move(listing.records);
}

}  // namespace mdi
