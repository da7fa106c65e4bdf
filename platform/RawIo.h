#pragma once
// Raw access to sources (drives, image files) and output image files.
//
// Read contract, the one every copy loop relies on:
//   - bytes == asked, error == 0: a full transfer;
//   - bytes <  asked, error == 0: the source has ended after `bytes` bytes
//     (bytes may be 0: nothing more to read);
//   - error != 0: the read failed (errno value, or EIO for a device fault);
//     `bytes` holds what was transferred before the failure, and the
//     position has advanced by exactly that much.
// Write contract: bytes == asked and error == 0, or error != 0 with the bytes
// written before the failure.
// Implementations retry EINTR and continue partial transfers, so a short
// result never means "try again".
//
// Positioned access: a source or output backed by a file descriptor can
// hand out where its next transfer would go, so a caller that queues many
// transfers at once (io_uring) issues them itself with explicit offsets.
// The caller then reports what it moved with advance(); the position moves
// by nothing else. Objects without a descriptor answer nullopt and are used
// through read()/write() only. The same object may be used both ways.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace mdi {

struct IoResult {
  std::size_t bytes = 0;
  int error = 0;
  bool failed() const { return error != 0; }
};

// Where the next transfer of an object goes when the caller issues it.
struct Positioned {
  int fd = -1;
  std::uint64_t offset = 0;
  // Time the transfer takes beyond the transfer itself: zero for real
  // files and drives, a drive's access and transfer time for a simulated one.
  std::uint64_t latencyNs = 0;
};

// How a source was reached: opened by this program itself, opened on its
// behalf by udisks2 (the user may not open the device node), or read with
// SCSI commands through pass-through.
enum class SourceAccess { Direct, Udisks2, PassThrough };
// "direct", "udisks2", "pass-through": as the record names them.
const char* accessName(SourceAccess access);

class Source {
 public:
  virtual ~Source() = default;
  // Why the source could not be opened at all ("access to /dev/sdb was
  // refused"), as a phrase for a status; "" for a source that was opened.
  virtual std::string openFailure() const { return {}; }
  virtual SourceAccess access() const { return SourceAccess::Direct; }
  // Reads up to buf.size() bytes at the current position (see contract).
  virtual IoResult read(std::span<std::byte> buf) = 0;
  // A read of `length` bytes from the current position, for the caller to
  // issue; nullopt when only read() can do it.
  virtual std::optional<Positioned> positionedRead(std::size_t /*length*/) { return std::nullopt; }
  // Moves the position by bytes the caller read itself.
  virtual void advance(std::size_t /*bytes*/) {}
  // Moves the position to an absolute offset, for a caller that reads
  // around a failing area. False, with the position unchanged, when the
  // source can only be read front to back (or not at this offset).
  virtual bool seek(std::uint64_t /*offset*/) { return false; }
  // From now on read past any cache, asking the device for exactly the
  // blocks a read covers, as after a read of its own failed: for a caller
  // that met a failure through another way of reading.
  virtual void readPastCache() {}
};

class Output {
 public:
  virtual ~Output() = default;
  // Writes all of buf at the current position (see contract).
  virtual IoResult write(std::span<const std::byte> buf) = 0;
  // A write of `length` bytes at the current position, for the caller to
  // issue; nullopt when only write() can do it.
  virtual std::optional<Positioned> positionedWrite(std::size_t /*length*/) { return std::nullopt; }
  // Moves the position by bytes the caller wrote itself.
  virtual void advance(std::size_t /*bytes*/) {}
  // Sets the file's length; the position is unchanged. Returns 0 or errno.
  virtual int resize(std::uint64_t size) = 0;
  // Moves the position to an absolute offset. Returns 0 or errno.
  virtual int seek(std::uint64_t offset) = 0;
  // Flushes data to the medium (fdatasync) and closes. Returns 0 or the
  // first errno. Idempotent: a second call returns 0 and does nothing.
  virtual int close() = 0;
  // What flushes the data written so far to the medium, for another thread
  // to call while writes go on: it holds its own handle on the file, so it
  // may outlive this object. Returns 0 or errno. Null when there is nothing
  // to flush.
  virtual std::function<int()> flusher() { return nullptr; }
};

// A source that could not be opened: every read fails with the open's
// errno, and `why` says what kept it closed.
class FailedSource final : public Source {
 public:
  FailedSource(int error, std::string why) : m_error(error), m_why(std::move(why)) {}
  IoResult read(std::span<std::byte>) override { return {0, m_error}; }
  bool seek(std::uint64_t) override { return true; }  // every read fails alike
  std::string openFailure() const override { return m_why; }
  int error() const { return m_error; }

 private:
  int m_error;
  std::string m_why;
};

// "<path> could not be opened: <the errno's text>".
std::string openFailureText(const std::string& path, int error);

// An output that could not be opened: every operation fails with its errno.
class FailedOutput final : public Output {
 public:
  explicit FailedOutput(int error) : m_error(error) {}
  IoResult write(std::span<const std::byte>) override { return {0, m_error}; }
  int resize(std::uint64_t) override { return m_error; }
  int seek(std::uint64_t) override { return m_error; }
  int close() override { return 0; }
  int error() const { return m_error; }

 private:
  int m_error;
};

// Opens files by path. Never returns null: an open that fails returns a
// FailedSource / FailedOutput carrying the errno, so the loops see the
// failure as a failed read or write, as they would for a missing device.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // Read-only (O_RDONLY | O_CLOEXEC).
  virtual std::unique_ptr<Source> openSource(const std::string& path) = 0;
  // Creates or truncates (O_WRONLY | O_CREAT | O_TRUNC, mode 0644). Never
  // through a symbolic link (O_NOFOLLOW: the open fails with ELOOP), which
  // would write a file other than the one named.
  virtual std::unique_ptr<Output> createOutput(const std::string& path) = 0;
  // Opens an existing output for writing at position 0, without truncating;
  // never through a symbolic link either.
  virtual std::unique_ptr<Output> reopenOutput(const std::string& path) = 0;
};

}  // namespace mdi
