#include "platform/ScsiSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace mdi {

namespace {

// A device that was reset answers its next command with UNIT ATTENTION;
// the command itself was not run and can simply be sent again.
constexpr int kUnitAttentionRetries = 3;

ScsiResult executeRetrying(ScsiTransport& t, std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                           unsigned timeoutMs) {
  ScsiResult r = t.execute(cdb, data, timeoutMs);
  for (int i = 0; i < kUnitAttentionRetries && classify(r).error == ScsiError::UnitAttention; ++i)
    r = t.execute(cdb, data, timeoutMs);
  return r;
}

int errnoFor(const ScsiResult& r, const ScsiOutcome& o) {
  if (o.error == ScsiError::Transport && r.osError != 0) return r.osError;
  return EIO;
}

class ScsiSource final : public Source {
 public:
  ScsiSource(std::unique_ptr<ScsiTransport> t, std::uint64_t blockCount, std::uint32_t blockLength,
             std::uint32_t maxTransferBlocks)
      : m_t(std::move(t)),
        m_blockCount(blockCount),
        m_blockLength(blockLength),
        m_maxBlocks(std::max<std::uint32_t>(1, maxTransferBlocks)),
        m_stage(static_cast<std::size_t>(m_maxBlocks) * blockLength) {}
  SourceAccess access() const override { return SourceAccess::PassThrough; }

  IoResult read(std::span<std::byte> buf) override {
    std::size_t done = 0;
    while (done < buf.size()) {
      if (m_stagedAt < m_stagedEnd) {
        const std::size_t n = std::min(buf.size() - done, m_stagedEnd - m_stagedAt);
        std::memcpy(buf.data() + done, m_stage.data() + m_stagedAt, n);
        m_stagedAt += n;
        done += n;
        continue;
      }
      if (m_pendingError != 0) return {done, m_pendingError};
      if (m_blockLength == 0 || m_nextLba >= m_blockCount) break;
      const std::uint64_t wantBlocks = (buf.size() - done + m_blockLength - 1) / m_blockLength;
      const auto blocks =
          static_cast<std::uint32_t>(std::min<std::uint64_t>({wantBlocks, m_maxBlocks, m_blockCount - m_nextLba}));
      stage(blocks);
    }
    return {done, 0};
  }
  // Only to a block boundary: a command reads whole blocks.
  bool seek(std::uint64_t offset) override {
    if (m_blockLength == 0 || offset % m_blockLength != 0) return false;
    m_nextLba = offset / m_blockLength;
    m_stagedAt = m_stagedEnd = 0;
    m_pendingError = 0;
    return true;
  }

 private:
  // Fills the stage with `blocks` blocks from m_nextLba. On a failure the
  // stage holds the blocks before the failing one and m_pendingError is set.
  void stage(std::uint32_t blocks) {
    m_stagedAt = 0;
    m_stagedEnd = 0;
    int err = 0;
    std::optional<std::uint64_t> badLba;
    std::uint32_t good = readBlocks(m_nextLba, blocks, 0, err, &badLba);
    if (err != 0 && blocks > 1) {
      err = 0;
      good = 0;
      if (badLba && *badLba >= m_nextLba && *badLba < m_nextLba + blocks) {
        // The device named the failing block: fetch the blocks before it
        // in one command and leave the bad one alone, since re-reading a
        // bad block can take the drive's full retry time.
        const auto before = static_cast<std::uint32_t>(*badLba - m_nextLba);
        if (before == 0 || readBlocks(m_nextLba, before, 0, err, nullptr) == before) {
          m_stagedEnd = static_cast<std::size_t>(before) * m_blockLength;
          m_nextLba += before;
          m_pendingError = EIO;
          return;
        }
        err = 0;
      }
      // Find the failing block by reading the span one block at a time.
      while (good < blocks) {
        if (readBlocks(m_nextLba + good, 1, good, err, nullptr) != 1) break;
        ++good;
      }
    }
    m_stagedEnd = static_cast<std::size_t>(good) * m_blockLength;
    m_nextLba += good;
    m_pendingError = err;
  }

  // One READ command into the stage at block slot `slot`. Returns the whole
  // blocks delivered: `blocks` on success, otherwise sets err (and badLba,
  // when given, to the failing block a medium error names).
  std::uint32_t readBlocks(std::uint64_t lba, std::uint32_t blocks, std::uint32_t slot, int& err,
                           std::optional<std::uint64_t>* badLba) {
    std::span<std::uint8_t> data(m_stage.data() + static_cast<std::size_t>(slot) * m_blockLength,
                                 static_cast<std::size_t>(blocks) * m_blockLength);
    ScsiResult r;
    if (fitsRead10(lba, blocks)) {
      const auto cdb = read10Cdb(static_cast<std::uint32_t>(lba), static_cast<std::uint16_t>(blocks));
      r = executeRetrying(*m_t, cdb, data, kScsiReadTimeoutMs);
    } else {
      const auto cdb = read16Cdb(lba, blocks);
      r = executeRetrying(*m_t, cdb, data, kScsiReadTimeoutMs);
    }
    const ScsiOutcome o = classify(r);
    if (o.error != ScsiError::None) {
      err = errnoFor(r, o);
      if (badLba && o.error == ScsiError::MediumError) *badLba = o.lba;
      return 0;
    }
    if (r.transferred < data.size()) {
      // GOOD status with missing data: treat as a device fault.
      err = EIO;
      return 0;
    }
    return blocks;
  }

  std::unique_ptr<ScsiTransport> m_t;
  std::uint64_t m_blockCount;
  std::uint32_t m_blockLength;
  std::uint32_t m_maxBlocks;
  std::vector<std::uint8_t> m_stage;
  std::size_t m_stagedAt = 0;
  std::size_t m_stagedEnd = 0;
  std::uint64_t m_nextLba = 0;
  int m_pendingError = 0;
};

}  // namespace

std::unique_ptr<Source> makeScsiSource(std::unique_ptr<ScsiTransport> transport, std::uint64_t blockCount,
                                       std::uint32_t blockLength, std::uint32_t maxTransferBlocks) {
  if (!transport) return std::make_unique<FailedSource>(ENODEV, "the drive could not be reached");
  return std::make_unique<ScsiSource>(std::move(transport), blockCount, blockLength, maxTransferBlocks);
}

std::optional<ScsiCapacity> readCapacity(ScsiTransport& transport) {
  std::array<std::uint8_t, 32> reply{};
  const auto cdb16 = readCapacity16Cdb(reply.size());
  ScsiResult r = executeRetrying(transport, cdb16, reply, kScsiQueryTimeoutMs);
  if (classify(r).error == ScsiError::None) {
    if (auto cap = parseReadCapacity16(std::span(reply).first(std::min(r.transferred, reply.size()))))
      if (cap->blockLength != 0) return cap;
  }
  std::array<std::uint8_t, 8> reply10{};
  const auto cdb10 = readCapacity10Cdb();
  r = executeRetrying(transport, cdb10, reply10, kScsiQueryTimeoutMs);
  if (classify(r).error != ScsiError::None) return std::nullopt;
  auto cap = parseReadCapacity10(std::span(reply10).first(std::min(r.transferred, reply10.size())));
  // 0xFFFFFFFF as last LBA means "too large for this command".
  if (!cap || cap->blockLength == 0 || cap->blockCount > 0xFFFFFFFFull) return std::nullopt;
  return cap;
}

std::optional<ScsiInquiry> inquiry(ScsiTransport& transport) {
  std::array<std::uint8_t, 96> reply{};
  const auto cdb = inquiryCdb(static_cast<std::uint8_t>(reply.size()));
  const ScsiResult r = executeRetrying(transport, cdb, reply, kScsiQueryTimeoutMs);
  if (classify(r).error != ScsiError::None) return std::nullopt;
  return parseInquiry(std::span(reply).first(std::min(r.transferred, reply.size())));
}

std::optional<ScsiDiskInfo> probeScsiDisk(ScsiTransport& transport) {
  const auto inq = inquiry(transport);
  if (!inq || inq->peripheralType != 0 || inq->peripheralQualifier != 0) return std::nullopt;
  const auto cap = readCapacity(transport);
  if (!cap) return std::nullopt;
  return ScsiDiskInfo{*inq, *cap};
}

}  // namespace mdi
