#pragma once
// A drive table that passes every question on to another one, which may be
// set later or changed: the window's table exists only once discovery has
// run, and a test may route a run to a live table. With none set it knows
// no drive.
#include <cerrno>

#include "platform/DriveTable.h"

namespace mdi {

class ForwardingDriveTable final : public DriveTable {
 public:
  explicit ForwardingDriveTable(DriveTable* table = nullptr) : to(table) {}
  DriveTable* to;

  std::optional<DriveIdentity> drive(int n) const override { return to ? to->drive(n) : std::nullopt; }
  std::string checkUnchanged(int n) const override {
    return to ? to->checkUnchanged(n) : "the drives have not been listed yet";
  }
  std::unique_ptr<Source> openSource(int n) override {
    return to ? to->openSource(n) : std::make_unique<FailedSource>(ENODEV, "the drives have not been listed yet");
  }
  void beginRun() override {
    if (to) to->beginRun();
  }
  std::optional<std::uint64_t> deviceNumber(int n) const override { return to ? to->deviceNumber(n) : std::nullopt; }
  std::vector<int> drivesUnder(const std::string& p) const override {
    return to ? to->drivesUnder(p) : std::vector<int>{};
  }
  std::optional<DriveRecord> listedRecord(int n) const override { return to ? to->listedRecord(n) : std::nullopt; }
  bool isAttached(int n) const override { return to && to->isAttached(n); }
};

}  // namespace mdi
