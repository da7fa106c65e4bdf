#pragma once
// The acquisition record written beside each image (<image>.log), and the
// checksum files (<image>.sha256, .md5, .sha1).
//
// The record is plain text, one "key: value" per line, in the order below;
// keys are stable so that scripts can parse them. A key appears only when
// it applies; read_error repeats once per failed read.
//
//   program             program name
//   version             major.minor.patch
//   host                host name of the machine that imaged
//   start_utc, end_utc  ISO 8601 UTC, e.g. 2024-05-01T09:30:00Z
//   source_type         "drive" or "file"
//   source_path         device node (drive) or image file path (file)
//   source_model        drive only
//   source_serial       drive only: serial number or WWN, as discovered
//   source_size         bytes
//   source_sector_size  drive only: logical sector size in bytes
//   source_pass_through drive only: "yes" when read through SCSI pass-through
//   image_path          the image written
//   sector_mutate       "yes" or "no"
//   sector_in           source sector size of the conversion, bytes
//   sector_out          image sector size of the conversion, bytes
//   bytes_read          source bytes read
//   bytes_written       image bytes written
//   outcome             the job's outcome text (e.g. "Done.", "Stopped")
//   stopped_by          "Stop" or "Exit": what ended a job short of its end
//   held_read_at        source byte offset of a read that had not returned
//                       when the run ended (the drive held it)
//   outcome_offset      source byte offset the outcome refers to, if any
//   read_error          source byte offset of a failed read (repeated)
//   go_past_read_errors "yes" when the job went past read errors; then:
//   bad_areas           areas of source sectors that could not be read
//   unread_bytes        source bytes not read (zeros in the image)
//   image_<algo>        digest of the image as written (<algo>: sha256, md5, sha1)
//   source_<algo>       mutate only: digest of the raw source stream read
//   hash_error          why there are no digests, when hashing failed
//   verify_result       the verify outcome text, when verified
//   verify_image_<algo> digest of the image as read back
//   verify_source_<algo> digest of the source as re-read
//   extra_file          a further file written for the job
//   extra_file_<algo>   its digest
//
// Values are written on one line, escaped as support/LineText.h says
// (a newline in a path becomes "\n", a backslash "\\").
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/Hasher.h"

namespace mdi {

struct AcquiredSource {
  enum class Kind { Drive, ImageFile };
  Kind kind = Kind::Drive;
  std::string path;  // device node or image file path
  std::uint64_t sizeBytes = 0;
  // Drives only.
  std::string model;
  std::string serial;  // serial number or WWN
  std::uint32_t logicalSectorSize = 0;
  bool passThrough = false;
  // How the program reached it: "direct", "udisks2" or "pass-through".
  std::string access = "direct";
};

struct VerifyRecord {
  std::string result;    // the text the operator sees, e.g. "Verified"
  Digests imageHashes;   // of the image read back
  Digests sourceHashes;  // of the source re-read; empty when it was not
};

struct ExtraFileRecord {
  std::string path;
  std::uint64_t sizeBytes = 0;
  Digests hashes;
};

struct AcquisitionLog {
  std::string program;
  std::string version;
  std::string host;
  std::chrono::system_clock::time_point start;
  std::chrono::system_clock::time_point end;
  AcquiredSource source;
  std::string imagePath;
  bool mutate = false;
  std::uint32_t sectorIn = 512;
  std::uint32_t sectorOut = 512;
  std::uint64_t bytesRead = 0;
  std::uint64_t bytesWritten = 0;
  std::string outcome;
  std::string stoppedBy;  // "Stop" or "Exit", for a job ended short of its end
  std::optional<std::uint64_t> heldReadAt;
  std::optional<std::uint64_t> outcomeOffset;
  std::vector<std::uint64_t> readErrors;  // source byte offsets
  struct GonePast {
    std::uint64_t badAreas = 0;
    std::uint64_t unreadBytes = 0;
  };
  std::optional<GonePast> goPastErrors;
  Digests imageHashes;
  Digests sourceHashes;  // mutate: the raw source stream
  std::string hashError;
  std::optional<VerifyRecord> verify;
  std::string sectorLayout;  // mutate: the layout's text
  std::optional<ExtraFileRecord> extraFile;
  // The protection-information check's key/value lines, in order.
  std::vector<std::pair<std::string, std::string>> protectionLines;
};

// The record's text, every line ending in '\n'.
std::string formatAcquisitionLog(const AcquisitionLog& log);

// "YYYY-MM-DDTHH:MM:SSZ", the time truncated to the second.
std::string isoUtc(std::chrono::system_clock::time_point t);

// One line of a checksum file, as sha256sum/md5sum/sha1sum write it and read
// it back with -c from the image's folder: "<hex>  <file name>\n". Only the
// last path component of imageName is used. A name holding a backslash or
// a newline is escaped the way coreutils does (a leading '\' on the line).
std::string checksumFileText(std::string_view hex, std::string_view imageName);

// "<image>.<algo>": where a checksum file of that algorithm goes.
std::string checksumFilePath(std::string_view imagePath, HashAlgo algo);

}  // namespace mdi
