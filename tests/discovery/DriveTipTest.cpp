// The tip of a drive row: the description, then the protection type the
// disk reports, then what discovery could not read or decide about the
// drive, one note a line.
#include <gtest/gtest.h>

#include "discovery/DriveTip.h"
#include "tests/CaseName.h"

namespace mdi {
namespace {

struct TipCase {
  const char* name;
  std::vector<std::string> notes;
  const char* tail;  // what follows the sector-size line
};
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
    ByName());

TEST(ProtectionTip, NamesTypesOneToThreeAndNothingElse) {
  for (const auto& [type, tip] : {std::pair<int, std::string>{0, ""}, {1, "protection type 1"},
                                  {2, "protection type 2"}, {3, "protection type 3"}, {-1, ""}})
    EXPECT_EQ(protectionTip(type), tip) << "type " << type;
}

}  // namespace
}  // namespace mdi
