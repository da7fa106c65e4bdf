#pragma once
// Whether a job may go on from what an earlier run left beside its image:
// its map, written by this program for this very source (the map's notes
// name the source's size and id, the sector sizes and layout), with the
// same sector sizes and layout, and an image of the length the map stands
// for, holding what the source's first 64 KiB convert to where the map
// says they were read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/SectorLayout.h"
#include "record/RescueMap.h"

namespace mdi {

// What the files and the source hold now, read off the window's thread.
struct ResumeFacts {
  std::optional<std::string> mapText;  // nullopt: missing or unreadable
  std::optional<std::uint64_t> imageSize;
  // The .extra's length; nullopt when it is missing (or unreadable).
  std::optional<std::uint64_t> extraSize;
  // The source's first bytes as read now (up to 64 KiB, cut at the first
  // that could not be read), and the image's bytes they convert to.
  std::vector<std::byte> sourceHead;
  std::vector<std::byte> imageHead;
  // Why the source could not be opened ("access to /dev/sdb was refused");
  // "" when it was.
  std::string sourceOpenFailure;
};

// The job as it stands now.
struct ResumeJob {
  std::uint64_t sourceSize = 0;
  std::string serial;  // a drive's serial or WWN; empty for an image file
  bool mutate = false;
  std::int32_t sectorIn = 512;
  std::int32_t sectorOut = 512;
  SectorLayout layout = SectorLayout::DataFirst;
};

inline constexpr std::size_t kResumeHeadBytes = 64 * 1024;

struct ResumeVerdict {
  std::optional<RescueMap> map;  // set when the job may go on from it
  std::string refusal;           // else why not, naming the file
};

// `program` is the name this program writes into its maps and records.
ResumeVerdict checkResume(const ResumeFacts& facts, const ResumeJob& job, const std::string& imagePath,
                          const std::string& program);

// Whether a map's text is one this program wrote: the Resume button is
// offered for such a map only.
bool writtenBy(const std::string& mapText, const std::string& program);

}  // namespace mdi
