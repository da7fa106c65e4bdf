// The tip of a drive row ends with what discovery could not read or decide
// about the drive, one note a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/DriveTip.h"

namespace mdi {
namespace {

struct TipCase {
  const char* name;
  std::vector<std::string> notes;
  const char* tail;  // what follows the sector-size line
};
void PrintTo(const TipCase& c, std::ostream* os) { *os << c.name; }

class DriveTipNotes : public ::testing::TestWithParam<TipCase> {};

TEST_P(DriveTipNotes, FollowTheDescription) {
  DriveRecord d;
  d.deviceId = "/dev/sdb";
  d.model = "Half Readable";
  d.size = 1024000;
  d.bytesPerSector = 512;
  d.notes = GetParam().notes;
  EXPECT_EQ(driveTip(d, Separators{",", "."}),
            std::string("Half Readable\nNode: /dev/sdb\nSerial: none\nSize: 1,024,000 bytes\n"
                        "Logical sector size: 512 bytes") +
                GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, DriveTipNotes,
    ::testing::Values(TipCase{"None", {}, ""},
                      TipCase{"One", {"size could not be read: Is a directory"},
                              "\nsize could not be read: Is a directory"},
                      TipCase{"Two",
                              {"dev is not a device number: \"garbage\"",
                               "Counted as a system drive: the drives under / could not all be found (x)"},
                              "\ndev is not a device number: \"garbage\"\n"
                              "Counted as a system drive: the drives under / could not all be found (x)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi
