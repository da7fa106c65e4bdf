// Runs that open their drives as the program's user may: directly as root,
// through udisks2 and polkit as a normal user. The runs list the machine's
// drives as discovery does and open them through the live drive table.
//
// The normal-user tests need a system bus with udisksd and polkitd on it
// and a user to run as: tests/access/udisks-session.sh makes them (as
// root), runs this binary as that user, and takes everything down again.
// Run alone they skip.
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "discovery/LinuxDriveTable.h"
#include "platform/dbus/UdisksBroker.h"
#include "platform/linux/DeviceOpener.h"
#include "tests/Readme.h"
#include "tests/RecordFields.h"
#include "tests/engine/RunFixture.h"
#include "tests/fakes/LoopDevice.h"

namespace mdi::test {
namespace {

constexpr std::size_t MiB = 1024 * 1024;

// Every request handed on to a real broker, as "<node>" or "<node> direct".
class CountingBroker final : public DeviceBroker {
 public:
  explicit CountingBroker(DeviceBroker* real) : m_real(real) {}
  Result openReadOnly(const std::string& node, bool direct) override {
    {
      const std::lock_guard lock(m_m);
      m_asked.push_back(direct ? node + " direct" : node);
    }
    return m_real ? m_real->openReadOnly(node, direct) : Result{};
  }
  std::vector<std::string> asked() const {
    const std::lock_guard lock(m_m);
    return m_asked;
  }

 private:
  DeviceBroker* m_real;
  mutable std::mutex m_m;
  std::vector<std::string> m_asked;
};

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A run whose drive jobs are opened through the live drive table, over the
// drives listed now.
class LiveDriveRun : public RunFixture {
 protected:
  void list() {
    records = enumerator.drives();
    table.emplace(enumerator, records, &opener);
    routedDrives.to = &*table;
  }
  // Appends a job for the drive at `node`, as the drive list would.
  int addDrive(const std::string& node) {
    for (const DriveRecord& d : records)
      if (d.deviceId == node) return addDriveJob(std::to_string(d.number), static_cast<std::int64_t>(d.size));
    ADD_FAILURE() << node << " was not listed";
    return 0;
  }
  UdisksBroker udisks;
  CountingBroker broker{&udisks};
  DeviceOpener opener{&broker};
  LinuxDriveEnumerator enumerator;
  std::vector<DriveRecord> records;
  std::optional<LinuxDriveTable> table;
};

// Root opens every drive itself: no system bus is asked anything, and the
// record says so.
TEST_F(LiveDriveRun, AsRootDrivesAreOpenedDirectlyAndNothingIsAsked) {
  if (IsSkipped()) return;
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  const Bytes data = patternBytes(4 * MiB, 3);
  writeBytes(dir / "disk.img", data);
  const LoopDevice device(dir / "disk.img");
  list();
  addDrive(device.path().string());
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_TRUE(readFile(output(1)) == data);
  EXPECT_EQ(field(record(1), "source_access"), "direct");
  EXPECT_TRUE(broker.asked().empty());
}

// What each answer of the bus, udisks2 or polkit makes of a job's status:
// the README's table, in its order (its last row, a missing image file, is
// not udisks2's), and a failure of udisks2 itself with its message.
TEST(UdisksAnswers, SayWhyADriveWasNotOpened) {
  const char* answers[] = {
      "org.freedesktop.UDisks2.Error.NotAuthorized", "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed",
      "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", "org.freedesktop.DBus.Error.NoServer"};
  const auto rows = readmeTable("Drives as a normal user");
  ASSERT_GE(rows.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string& status = rows[i + 1][1];  // in backquotes, perhaps followed by a remark
    const auto end = status.find("` (");
    EXPECT_EQ("`Not imaged: " + DeviceOpener::refusalText("/dev/sdb", udisksAnswerTo(answers[i], "")) + "`",
              status.substr(0, end == std::string::npos ? end : end + 1));
  }
  EXPECT_EQ(DeviceOpener::refusalText("/dev/sdb", udisksAnswerTo("org.freedesktop.UDisks2.Error.Failed", "EBUSY")),
            "udisks2 could not open /dev/sdb: EBUSY");
}

// As a normal user, under udisks-session.sh: MDI_ACCESS_GRANTED is a drive
// polkit lets this user open, MDI_ACCESS_REFUSED_A and _B two it refuses,
// MDI_ACCESS_UNASKED one it has no rule for (and no agent to ask about),
// and MDI_ACCESS_GRANTED_FILE the file behind the first.
class AsUser : public LiveDriveRun {
 protected:
  void SetUp() override {
    if (granted.empty() || ::geteuid() == 0)
      GTEST_SKIP() << "runs as a normal user under tests/access/udisks-session.sh";
    LiveDriveRun::SetUp();
    if (IsSkipped()) return;
    source = readFile(backing);
    ASSERT_FALSE(source.empty());
    list();
  }
  std::string granted = env("MDI_ACCESS_GRANTED"), backing = env("MDI_ACCESS_GRANTED_FILE");
  std::string refusedA = env("MDI_ACCESS_REFUSED_A"), refusedB = env("MDI_ACCESS_REFUSED_B");
  std::string unasked = env("MDI_ACCESS_UNASKED");
  Bytes source;
};

// The granted drive cannot be opened by this user; udisks2 opens it once
// polkit agrees, and the image is the drive's bytes. Going past read
// errors, it is read past the page cache from the start: a descriptor only
// udisks2 can give this user. A refused drive ends "Not imaged" with the
// refusal; the next drive that would need the same answer is refused
// unasked, so the operator sees one prompt per run; the image file is
// imaged.
TEST_F(AsUser, ARefusalEndsOnlyThatJobAndIsAskedOnce) {
  ASSERT_NE(::access(granted.c_str(), R_OK), 0) << "this user may open " << granted << " directly";
  form.Options.goPastErrors = true;
  addDrive(granted);
  addDrive(refusedA);
  addDrive(refusedB);
  const Bytes file = patternBytes(MiB + 100, 5);
  addFileJob(src("file.img", file));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_TRUE(readFile(output(1)) == source);
  EXPECT_EQ(field(record(1), "source_access"), "udisks2");
  EXPECT_EQ(status(2), "Not imaged: access to " + refusedA + " was refused");
  EXPECT_EQ(status(3), "Not imaged: access to " + refusedB + " was refused");
  EXPECT_FALSE(fs::exists(output(2)));
  EXPECT_FALSE(fs::exists(output(3)));
  EXPECT_EQ(status(4), "Done.");
  EXPECT_TRUE(readFile(output(4)) == file);
  EXPECT_EQ(broker.asked(), (std::vector<std::string>{granted, granted + " direct", refusedA}));
  // The next run asks again; read through the page cache, a drive needs
  // one descriptor only. A drive no rule decides needs the administrator's
  // password, and with no polkit agent running nobody can be asked for it.
  form.Options.goPastErrors = false;
  form.iGrid2.removeRows(1, form.iGrid2.rowCount());
  form.iGrid2.setValue(addDrive(granted), JobCol::FileName, (dir / "again.img").string());
  addDrive(unasked);
  const std::size_t before = broker.asked().size();
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(status(2), "Not imaged: access to " + unasked +
                           " was refused: no password prompt could be shown (no polkit agent is running)");
  const std::vector<std::string> asked = broker.asked();
  EXPECT_EQ(std::vector(asked.begin() + static_cast<long>(before), asked.end()),
            (std::vector<std::string>{granted, unasked}));
}

// The file behind a loop device is known without opening the device, so a
// run as a user still never writes an image over the file it reads.
TEST_F(AsUser, TheFileBehindALoopDriveIsNoOutput) {
  const int row = addDrive(granted);
  form.iGrid2.setValue(row, JobCol::FileName, backing);
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1U);
  const std::string job = jobLabel(form.iGrid2, row);
  EXPECT_EQ(msg.shown[0].text, "The output file " + backing + " of job " + job + " is the file behind " + granted +
                                   ", the source of job " + job + ".");
  EXPECT_TRUE(broker.asked().empty());
}

// The same user once udisksd has stopped (the session's last step): a drive
// that needs it says so. (A job after it is imaged all the same, as after a
// refusal above: the two answers end a job alike.)
class WithoutUdisks : public AsUser {
  void SetUp() override {
    if (env("MDI_ACCESS_UDISKS_STOPPED").empty())
      GTEST_SKIP() << "runs under tests/access/udisks-session.sh once udisksd has stopped";
    AsUser::SetUp();
  }
};

TEST_F(WithoutUdisks, ADriveThatNeedsItSaysUdisks2IsNotRunning) {
  addDrive(granted);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Not imaged: access to " + granted + " could not be asked for: udisks2 is not running");
}

}  // namespace
}  // namespace mdi::test
