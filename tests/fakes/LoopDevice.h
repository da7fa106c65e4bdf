#pragma once
// A read-only loop device attached over a file, detached again by the
// destructor: the one way tests and benchmarks make block devices. Sources
// of the program are opened read-only, and so must the devices tests hand
// it be. This process keeps no descriptor on the device between attaching
// and detaching, so the descriptors a test finds on it are the program's.
//
// Over a FaultFs file, as measured on Linux 6.18:
//   - An O_DIRECT read of /dev/loopN reaches the file as one read of the same
//     offset and length (up to 512 KiB; larger ones are split), so it fails
//     with EIO exactly at the failing sectors. A buffered read fails for the
//     whole 4 KiB page of the block device's cache that holds a failing sector.
//   - A stalled read blocks its reader uninterruptibly (D state): no signal
//     ends it, only release() or the FaultFs going away. The driver reads
//     the file one request at a time, like one drive's queue, so a stalled
//     sector holds up every other read of the device, as a hung drive does.
//   - A short read is continued by the driver from the next whole sector:
//     the reader sees full reads (see FaultFile::limitReadSize).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mdi {

class LoopDevice {
 public:
  // Empty when this process can attach loop devices, else the reason.
  static std::string unavailableReason();

  // Attaches `file` to a free loop device of that logical block size: a
  // power of two from 512 to the page size. Throws std::system_error (EINVAL
  // for a block size the kernel refuses, such as 520).
  explicit LoopDevice(const std::filesystem::path& file, std::uint32_t blockSize = 512);
  // Detaches, and waits (up to 10 s) until the device has let go of the file,
  // so the filesystem holding it can be unmounted next.
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  const std::filesystem::path& path() const { return m_path; }  // /dev/loopN

 private:
  std::filesystem::path m_path;
};

// Why this process cannot use a device node that needs root: empty when it can.
std::string rootDeviceUnavailable(const char* device, const char* purpose);

// Loop devices whose backing file lies under `folder`: what a test left behind.
std::vector<std::string> loopDevicesUnder(const std::filesystem::path& folder);

}  // namespace mdi
