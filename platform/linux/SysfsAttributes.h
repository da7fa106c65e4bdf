#pragma once
// Reading sysfs: attribute files, the numbers in them and folder listings,
// each telling an absent entry (normal: not every device has every
// attribute) from one that is there but cannot be read.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mdi {

struct SysfsText {
  std::string text;   // trimmed, control bytes blanked; "" when absent or unreadable
  std::string error;  // why it could not be read; "" when read or absent
};

// One attribute file (at most 4096 bytes of it).
SysfsText readSysfsText(const std::filesystem::path& p);

// A decimal number, the whole text; nullopt when it is anything else.
std::optional<std::uint64_t> parseSysfsNumber(const std::string& text);

// "8:16" as a device number; nullopt when it is anything else.
std::optional<std::uint64_t> parseDeviceNumber(const std::string& text);

struct SysfsListing {
  std::vector<std::string> names;  // sorted; as far as it could be listed
  std::string error;               // why not all of it; "" when whole or absent
};

// The entries of a folder.
SysfsListing listSysfs(const std::filesystem::path& dir);

}  // namespace mdi
