#pragma once
// The block devices of a sysfs tree, read once: every disk and partition by
// name and device number, the whole disks discovery lists, and which of
// those a filesystem lies on. Whatever could not be read is kept, as notes
// on the entry it belongs to and as doubts on every answer it could change.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mdi {

class BlockTree {
 public:
  BlockTree(const std::string& sysRoot, const std::string& mountInfo);

  const std::filesystem::path& block() const { return m_block; }
  // Whole disks discovery lists, in drive-number order.
  const std::vector<std::string>& listed() const { return m_listed; }
  // What could not be read of an entry while the tree was mapped.
  std::vector<std::string> notesOf(const std::string& name) const;
  std::uint64_t devOf(const std::string& name) const;

  // The listed disks a filesystem lies on (its st_dev), and what kept the
  // answer from being whole: disks may be missing from `disks` whenever
  // `doubts` is not empty.
  struct Found {
    std::set<std::string> disks;
    std::vector<std::string> doubts;
  };
  Found disksUnderFs(std::uint64_t dev) const;

 private:
  struct Entry {
    std::string disk;       // whole disk it belongs to (itself for a disk)
    std::uint64_t dev = 0;  // 0 when unknown
  };
  struct Mount {
    std::uint64_t dev;
    std::string source;
  };
  void mapDisk(const std::string& name);
  std::optional<std::uint64_t> readDev(const std::filesystem::path& dir, const std::string& disk,
                                       const std::string& what);
  bool isListed(const std::string& name);
  void note(const std::string& disk, const std::string& text, bool mapIncomplete);
  void resolve(std::uint64_t dev, Found& out, int depth) const;
  void resolveFs(std::uint64_t dev, Found& out, int depth) const;
  std::optional<std::uint64_t> nodeDev(const std::string& source) const;
  void readMounts() const;

  std::filesystem::path m_block;
  std::string m_mountInfo;
  std::map<std::string, Entry> m_byName;
  std::map<std::uint64_t, std::string> m_byDev;  // device number -> entry name
  std::vector<std::string> m_listed;
  std::map<std::string, std::vector<std::string>> m_notes;  // by disk
  // Why the map may lack a device: any answer about a filesystem may then
  // be short of a disk.
  std::vector<std::string> m_mapDoubts;
  mutable std::optional<std::vector<Mount>> m_mounts;
  mutable std::string m_mountsError;
};

}  // namespace mdi
