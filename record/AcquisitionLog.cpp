#include "record/AcquisitionLog.h"

#include <cstdio>
#include <filesystem>

#include "support/LineText.h"

namespace mdi {

namespace {

class Lines {
 public:
  void add(std::string_view key, std::string_view value) {
    m_text.append(key).append(": ").append(oneLineText(value)).append("\n");
  }
  void add(std::string_view key, std::uint64_t value) { add(key, std::to_string(value)); }
  void yesNo(std::string_view key, bool value) { add(key, value ? "yes" : "no"); }
  void digests(std::string_view prefix, const Digests& ds) {
    for (const Digest& d : ds) add(std::string(prefix) + std::string(hashAlgoName(d.algo)), d.hex);
  }
  std::string take() { return std::move(m_text); }

 private:
  std::string m_text;
};

}  // namespace

std::string isoUtc(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto secs = floor<seconds>(t);
  const auto day = floor<days>(secs);
  const year_month_day ymd{day};
  const hh_mm_ss hms{secs - day};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  return buf;
}

std::string formatAcquisitionLog(const AcquisitionLog& log) {
  Lines l;
  l.add("program", log.program);
  l.add("version", log.version);
  l.add("host", log.host);
  l.add("start_utc", isoUtc(log.start));
  l.add("end_utc", isoUtc(log.end));
  const bool drive = log.source.kind == AcquiredSource::Kind::Drive;
  l.add("source_type", drive ? "drive" : "file");
  l.add("source_path", log.source.path);
  if (drive) {
    l.add("source_model", log.source.model);
    l.add("source_serial", log.source.serial);
  }
  l.add("source_size", log.source.sizeBytes);
  if (drive) {
    l.add("source_sector_size", log.source.logicalSectorSize);
    l.yesNo("source_pass_through", log.source.passThrough);
  }
  l.add("source_access", log.source.access);
  l.add("image_path", log.imagePath);
  l.yesNo("sector_mutate", log.mutate);
  l.add("sector_in", log.sectorIn);
  l.add("sector_out", log.sectorOut);
  if (log.mutate && !log.sectorLayout.empty()) l.add("sector_layout", log.sectorLayout);
  l.add("bytes_read", log.bytesRead);
  l.add("bytes_written", log.bytesWritten);
  l.add("outcome", log.outcome);
  if (!log.stoppedBy.empty()) l.add("stopped_by", log.stoppedBy);
  if (log.heldReadAt) l.add("held_read_at", *log.heldReadAt);
  if (log.outcomeOffset) l.add("outcome_offset", *log.outcomeOffset);
  for (std::uint64_t offset : log.readErrors) l.add("read_error", offset);
  if (log.goPastErrors) {
    l.yesNo("go_past_read_errors", true);
    l.add("bad_areas", log.goPastErrors->badAreas);
    l.add("unread_bytes", log.goPastErrors->unreadBytes);
  }
  l.digests("image_", log.imageHashes);
  if (log.mutate) l.digests("source_", log.sourceHashes);
  if (!log.hashError.empty()) l.add("hash_error", log.hashError);
  if (log.verify) {
    l.add("verify_result", log.verify->result);
    l.digests("verify_image_", log.verify->imageHashes);
    l.digests("verify_source_", log.verify->sourceHashes);
  }
  if (log.extraFile) {
    l.add("extra_file", log.extraFile->path);
    l.add("extra_file_size", log.extraFile->sizeBytes);
    l.digests("extra_file_", log.extraFile->hashes);
  }
  for (const auto& [key, value] : log.protectionLines) l.add(key, value);
  return l.take();
}

std::string checksumFileText(std::string_view hex, std::string_view imageName) {
  const std::string name = std::filesystem::path(imageName).filename().string();
  std::string escaped;
  bool needsEscape = false;
  for (char c : name) {
    if (c == '\\') {
      escaped += "\\\\";
      needsEscape = true;
    } else if (c == '\n') {
      escaped += "\\n";
      needsEscape = true;
    } else {
      escaped += c;
    }
  }
  // Appended piece by piece: a prefixed literal trips GCC 12's false
  // -Wrestrict at -O3.
  std::string line = needsEscape ? "\\" : "";
  line.append(hex).append("  ").append(escaped).append("\n");
  return line;
}

std::string checksumFilePath(std::string_view imagePath, HashAlgo algo) {
  return std::string(imagePath) + "." + std::string(hashAlgoName(algo));
}

}  // namespace mdi
