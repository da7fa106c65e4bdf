#include "jobs/JobList.h"

#include <charconv>
#include <cmath>

#include "support/Val.h"

namespace mdi {

void setUpJobGrid(GridModel& g) {
  struct ColDef {
    const char* header;
    int width;
    bool visible;
  };
  static constexpr ColDef cols[JobCol::Count] = {
      {"ID", 35, true},          {"Model", 160, true},     {"Size", 60, true},   {"Size", 60, false},
      {"Size I", 60, false},     {"File Name", 200, true}, {"Status", 80, true}, {"Sector In", 70, false},
      {"Sector Out", 70, false}, {"BPS", 0, true},
  };
  g.setColumnCount(JobCol::Count);
  for (int c = 1; c <= JobCol::Count; ++c) {
    g.setHeader(c, cols[c - 1].header);
    g.setColumnWidth(c, cols[c - 1].width);
    g.setColumnVisible(c, cols[c - 1].visible);
  }
  g.setEditAllowed(false);
  if (g.rowCount() > 0) g.removeRows(1, g.rowCount());
}

std::string defaultOutputName(int rowCount, const std::string& targetFolder) {
  std::string n = std::to_string(rowCount);
  while (n.size() < 3) n = "0" + n;
  // With no target yet the name has no folder: it follows the target that
  // is chosen later, and a run never writes a file it did not place.
  if (targetFolder.empty()) return n + ".bin";
  const bool slash = targetFolder.back() == '/';
  return targetFolder + (slash ? "" : "/") + n + ".bin";
}

void placeUnplacedOutputs(GridModel& jobs, const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const std::string name = jobs.value(row, JobCol::FileName);
    if (!name.empty() && name.front() != '/') jobs.setValue(row, JobCol::FileName, prefix + name);
  }
}

std::optional<JobSource> jobSource(const GridModel& jobs, int row) {
  const std::string id = jobs.value(row, JobCol::ID);
  if (id == kFileId) return JobSource{true, jobs.value(row, JobCol::Model), -1};
  const auto b = id.find_first_not_of(' ');
  const auto e = id.find_last_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  int n = -1;
  auto [p, ec] = std::from_chars(id.data() + b, id.data() + e + 1, n);
  if (ec != std::errc() || p != id.data() + e + 1 || n < 0) return std::nullopt;
  return JobSource{false, {}, n};
}

std::string jobLabel(const GridModel& jobs, int row) {
  return jobs.value(row, JobCol::ID) + " : " + jobs.value(row, JobCol::Model);
}

SectorSizes jobSectorSizes(const GridModel& jobs, int row) {
  auto cell = [&](int col) { return static_cast<std::int32_t>(std::lround(Val(jobs.value(row, col)))); };
  return {cell(JobCol::SectorIn), cell(JobCol::SectorOut)};
}

}  // namespace mdi
