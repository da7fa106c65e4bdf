#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "discovery/DriveTip.h"

namespace mdi {
namespace {

class ProtectionTip : public ::testing::TestWithParam<std::pair<int, std::string>> {};

TEST_P(ProtectionTip, NamesTheTypeOrNothing) {
  EXPECT_EQ(protectionTip(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Types, ProtectionTip,
                         ::testing::Values(std::pair{0, std::string()}, std::pair{1, std::string("protection type 1")},
                                           std::pair{2, std::string("protection type 2")},
                                           std::pair{3, std::string("protection type 3")},
                                           std::pair{-1, std::string()}),
                         [](const auto& info) {
                           return info.param.first < 0 ? std::string("Negative")
                                                       : "Type" + std::to_string(info.param.first);
                         });

}  // namespace
}  // namespace mdi
