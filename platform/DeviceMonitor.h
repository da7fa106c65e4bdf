#pragma once
// Tells the window that block devices were attached, detached or changed
// (a loop device set up or torn down, a disk plugged in), so the drive list
// can follow. The window watches fd() on its event loop and, when it is
// readable, calls takeEvents().
namespace mdi {

class DeviceMonitor {
 public:
  virtual ~DeviceMonitor() = default;
  // Readable when events wait; -1 when the monitor could not be set up.
  virtual int fd() const = 0;
  // Reads every waiting event; true when one concerns a whole disk.
  virtual bool takeEvents() = 0;
};

}  // namespace mdi
