#pragma once
// The job list: one row of the job grid per source to image. The grid is
// its only store; these are the column numbers and the rules every reader
// and writer of a job row shares.
#include <cstdint>
#include <optional>
#include <string>

#include "support/GridModel.h"

namespace mdi {

namespace JobCol {
constexpr int ID = 1;        // drive number, or "File"
constexpr int Model = 2;     // drive model, or the image file's full path
constexpr int Size = 3;      // size text
constexpr int Pnp = 4;       // persistent device id (hidden)
constexpr int SizeI = 5;     // size in bytes (hidden)
constexpr int FileName = 6;  // output image path
constexpr int Status = 7;
constexpr int SectorIn = 8;  // shown only with sector mutate
constexpr int SectorOut = 9;
constexpr int BPS = 10;
constexpr int Count = 10;
}  // namespace JobCol

inline constexpr const char* kFileId = "File";

// A drive that holds the running system is drawn with these colours in the
// drive grid; the colour of its first cell is also how the job editor knows
// to ask before imaging it.
constexpr Color kSystemDriveBack = rgb(192, 0, 0);
constexpr Color kSystemDriveFore = 0xFFFFFF;

// Sets up the job grid's 10 columns (headers, widths, hidden columns),
// switches in-place editing off and removes every row.
void setUpJobGrid(GridModel& jobs);

// Default output path for a job that becomes row `rowCount`: the number,
// zero-padded to three digits, + ".bin", in `targetFolder` ("/" added
// unless the folder ends in one). 1 -> 001.bin, 1000 -> 1000.bin. With no
// target folder the name is bare ("001.bin") until a target is chosen.
std::string defaultOutputName(int rowCount, const std::string& targetFolder);

// The source of a job row: an image file (its path) or a drive number.
struct JobSource {
  bool isFile = false;
  std::string path;  // image file
  int drive = -1;    // drive number
};
// nullopt when the ID cell is neither "File" nor a drive number.
std::optional<JobSource> jobSource(const GridModel& jobs, int row);

// Gives every job whose file name has no folder yet a place in `folder`.
void placeUnplacedOutputs(GridModel& jobs, const std::string& folder);

// "ID : Model" naming a job in messages.
std::string jobLabel(const GridModel& jobs, int row);

struct SectorSizes {
  std::int32_t in = 0;   // Sector In
  std::int32_t out = 0;  // Sector Out
};
// The job's Sector In and Sector Out cells, rounded to whole numbers.
SectorSizes jobSectorSizes(const GridModel& jobs, int row);

}  // namespace mdi
