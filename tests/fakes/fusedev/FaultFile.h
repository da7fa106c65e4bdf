#pragma once
// One file of the fault filesystem: its bytes and the behaviours consulted at
// every read that reaches it. Every method is thread-safe; a behaviour changed
// while the file is mounted applies from the next read on. Every read
// reaches the file as issued (FUSE direct_io), so faults hit exact offsets
// and short reads pass through to the reader.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/SimulatedDrive.h"

namespace mdi::fusedev {

struct FileSpec {
  std::string name{};  // one path component
  std::uint64_t size = 0;
  // The file's bytes are a function of the byte offset and the seed that
  // does not repeat every 512 or 4096 bytes, so a sector read from the
  // wrong place never matches.
  std::uint64_t seed = 0;
};

class FaultFile {
 public:
  FaultFile(FileSpec spec, std::filesystem::path path);

  const std::string& name() const { return m_spec.name; }
  std::uint64_t size() const { return m_spec.size; }
  // Where the file is mounted.
  const std::filesystem::path& path() const { return m_path; }

  // The bytes a successful read of [offset, offset + length) returns,
  // cut at the end of the file.
  std::vector<std::uint8_t> expected(std::uint64_t offset, std::size_t length) const;

  // Reads touching [from, to) fail with `error` (an errno value); with
  // `times` > 0 only that many, as a weak sector that reads at last.
  void failReads(std::uint64_t from, std::uint64_t to, int error = EIO, int times = 0);
  // Reads that failed on a bad range so far.
  std::uint64_t failedReadCount() const;
  // Each read returns at most maxBytes (0: no limit): short reads. Under a
  // loop device keep it a multiple of the device's block size: the loop
  // driver continues a short read from the next whole sector, so any other
  // limit hands the reader wrong bytes without an error.
  void limitReadSize(std::uint64_t maxBytes);
  // A read touching `offset` blocks until release() or until the filesystem
  // is unmounted.
  void stallAt(std::uint64_t offset);
  // Ends every stall of this file: blocked reads go on, later reads pass.
  void release();
  std::size_t stalledReads() const;
  // Paces the file as a simulated drive of that timing (SimulatedDrive.h),
  // its jitter drawn from `seed` so that runs repeat. A failed read takes
  // `failedRead` besides, as a drive's retries inside it do. Reads of one
  // file wait for each other, as on one drive; different files run side by
  // side.
  void throttle(const DriveTiming& timing, std::uint64_t seed, std::chrono::milliseconds failedRead = {});
  // Drops every failing range.
  void clearFaults();

  // The read handler: serves [offset, offset + asked) as the behaviours say.
  // Returns the bytes served (fewer than asked at the end of the file or for
  // a short read, 0 at or past the end) with out filled, or a negative errno.
  // Blocks for stalls and throttling.
  long long serve(std::uint64_t offset, std::uint64_t asked, std::vector<std::uint8_t>& out);
  // The filesystem is going away: stalls and throttling no longer hold reads.
  void shutDown();

 private:
  struct BadRange {
    std::uint64_t from, to;
    int error;
    int timesLeft;  // 0: always
  };
  bool stalledAt(std::uint64_t from, std::uint64_t to) const;

  FileSpec m_spec;
  std::filesystem::path m_path;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<BadRange> m_bad;
  std::vector<std::uint64_t> m_stalls;
  std::uint64_t m_maxRead = 0;
  bool m_throttled = false;
  DrivePace m_pace;
  std::size_t m_blocked = 0;
  bool m_closing = false;
  std::uint64_t m_failed = 0;
  std::chrono::milliseconds m_failDelay{0};
};

}  // namespace mdi::fusedev
