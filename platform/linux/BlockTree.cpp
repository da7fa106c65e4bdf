#include "platform/linux/BlockTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <libmount.h>

#include "platform/linux/LinuxDriveEnumerator.h"
#include "platform/linux/SysfsAttributes.h"

namespace mdi {

namespace fs = std::filesystem;

namespace {

bool startsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }
std::string message(int err) { return std::error_code(err, std::generic_category()).message(); }
// Devices stacked deeper than this are taken for a loop in the tree.
constexpr int kMaxDepth = 16;

}  // namespace

BlockTree::BlockTree(const std::string& sysRoot, const std::string& mountInfo)
    : m_block(fs::path(sysRoot) / "block"), m_mountInfo(mountInfo) {
  const SysfsListing names = listSysfs(m_block);
  std::error_code ec;
  if (!names.error.empty()) m_mapDoubts.push_back(m_block.string() + " could not be listed: " + names.error);
  else if (names.names.empty() && !fs::exists(m_block, ec)) m_mapDoubts.push_back(m_block.string() + " does not exist");
  for (const std::string& name : names.names) mapDisk(name);
  std::sort(m_listed.begin(), m_listed.end(), LinuxDriveEnumerator::naturalLess);
}

void BlockTree::note(const std::string& disk, const std::string& text, bool mapIncomplete) {
  m_notes[disk].push_back(text);
  if (mapIncomplete) m_mapDoubts.push_back(disk + ": " + text);
}

std::optional<std::uint64_t> BlockTree::readDev(const fs::path& dir, const std::string& disk, const std::string& what) {
  const SysfsText t = readSysfsText(dir / "dev");
  if (!t.error.empty()) {
    note(disk, what + "dev could not be read: " + t.error, true);
    return std::nullopt;
  }
  const auto dev = parseDeviceNumber(t.text);
  if (!dev) note(disk, what + "dev is not a device number: \"" + t.text + "\"", true);
  return dev;
}

void BlockTree::mapDisk(const std::string& name) {
  const fs::path dir = m_block / name;
  Entry e{name, readDev(dir, name, "").value_or(0)};
  m_byName[name] = e;
  if (e.dev != 0) m_byDev[e.dev] = name;
  const SysfsListing subs = listSysfs(dir);
  if (!subs.error.empty()) note(name, "its entries could not all be listed: " + subs.error, true);
  for (const std::string& sub : subs.names) {
    std::error_code ec;
    const bool partition = fs::exists(dir / sub / "partition", ec);
    if (ec) {
      note(name, sub + " could not be examined: " + ec.message(), true);
      continue;
    }
    if (!partition) continue;
    Entry p{name, readDev(dir / sub, name, sub + "/").value_or(0)};
    m_byName[sub] = p;
    if (p.dev != 0) m_byDev[p.dev] = sub;
  }
  if (isListed(name)) m_listed.push_back(name);
}

bool BlockTree::isListed(const std::string& name) {
  if (!LinuxDriveEnumerator::isListedName(name)) return false;
  const fs::path dir = m_block / name;
  const SysfsText hidden = readSysfsText(dir / "hidden");
  if (!hidden.error.empty()) note(name, "hidden could not be read: " + hidden.error, false);
  if (hidden.text == "1") return false;  // NVMe multipath legs
  if (!startsWith(name, "loop")) return true;
  // A loop device is a drive only while a file is attached.
  const SysfsText backing = readSysfsText(dir / "loop" / "backing_file");
  if (!backing.error.empty()) note(name, "loop/backing_file could not be read: " + backing.error, false);
  return !backing.text.empty() || !backing.error.empty();
}

std::vector<std::string> BlockTree::notesOf(const std::string& name) const {
  const auto it = m_notes.find(name);
  return it == m_notes.end() ? std::vector<std::string>{} : it->second;
}

std::uint64_t BlockTree::devOf(const std::string& name) const {
  const auto it = m_byName.find(name);
  return it == m_byName.end() ? 0 : it->second.dev;
}

BlockTree::Found BlockTree::disksUnderFs(std::uint64_t dev) const {
  Found out;
  out.doubts = m_mapDoubts;
  resolveFs(dev, out, 0);
  return out;
}

// Listed whole disks under block device `dev`, following partitions to
// their disk, dm/md to their members and loops to their backing file.
void BlockTree::resolve(std::uint64_t dev, Found& out, int depth) const {
  if (depth > kMaxDepth) {
    out.doubts.push_back("devices are stacked more than " + std::to_string(kMaxDepth) + " deep");
    return;
  }
  const auto it = m_byDev.find(dev);
  if (it == m_byDev.end()) {
    out.doubts.push_back("block device " + std::to_string(dev) + " is not in " + m_block.string());
    return;
  }
  const std::string& disk = m_byName.at(it->second).disk;
  if (std::find(m_listed.begin(), m_listed.end(), disk) != m_listed.end()) out.disks.insert(disk);
  const SysfsListing members = listSysfs(m_block / disk / "slaves");
  if (!members.error.empty()) out.doubts.push_back(disk + "/slaves could not be listed: " + members.error);
  for (const std::string& member : members.names) {
    const auto m = m_byName.find(member);
    if (m == m_byName.end() || m->second.dev == 0)
      out.doubts.push_back("member " + member + " of " + disk + " is not known");
    else resolve(m->second.dev, out, depth + 1);
  }
  if (startsWith(disk, "loop")) {
    const SysfsText backing = readSysfsText(m_block / disk / "loop" / "backing_file");
    if (!backing.error.empty()) {
      out.doubts.push_back(disk + "/loop/backing_file could not be read: " + backing.error);
    } else if (!backing.text.empty()) {
      struct stat st {};
      if (::stat(backing.text.c_str(), &st) == 0) {
        resolveFs(st.st_dev, out, depth + 1);
      } else {
        const int err = errno;
        out.doubts.push_back("the file behind " + disk + " (" + backing.text + ") cannot be found: " + message(err));
      }
    }
  }
}

// A filesystem's st_dev: a block device, or an anonymous device (btrfs,
// overlay, tmpfs) whose mount source may name the block device.
void BlockTree::resolveFs(std::uint64_t dev, Found& out, int depth) const {
  if (m_byDev.count(dev)) {
    resolve(dev, out, depth);
    return;
  }
  readMounts();
  if (!m_mountsError.empty()) out.doubts.push_back(m_mountsError);
  for (const Mount& m : *m_mounts) {
    // Sources outside /dev (tmpfs, overlay, a server) hold no disk.
    if (m.dev != dev || !startsWith(m.source, "/dev/")) continue;
    struct stat st {};
    const bool found = ::stat(m.source.c_str(), &st) == 0;
    const int err = found ? 0 : errno;
    if (found && S_ISBLK(st.st_mode)) resolve(st.st_rdev, out, depth);
    else if (const auto byNode = nodeDev(m.source)) resolve(*byNode, out, depth);
    else if (!found) out.doubts.push_back("mount source " + m.source + " cannot be found: " + message(err));
    // Found, and no block device (/dev/fuse): no disk.
  }
}

// "/dev/NAME" looked up in the sysfs listing (fake trees have no nodes).
std::optional<std::uint64_t> BlockTree::nodeDev(const std::string& source) const {
  if (!startsWith(source, "/dev/")) return std::nullopt;
  const auto it = m_byName.find(source.substr(5));
  if (it == m_byName.end() || it->second.dev == 0) return std::nullopt;
  return it->second.dev;
}

void BlockTree::readMounts() const {
  if (m_mounts) return;
  m_mounts.emplace();
  libmnt_table* tb = mnt_new_table();
  if (!tb) {
    m_mountsError = "the mount table could not be read";
    return;
  }
  if (const int rc = mnt_table_parse_file(tb, m_mountInfo.c_str()); rc != 0) {
    m_mountsError = "the mount table " + m_mountInfo + " could not be read: " + message(rc < 0 ? -rc : EIO);
  } else {
    libmnt_iter* itr = mnt_new_iter(MNT_ITER_FORWARD);
    libmnt_fs* f = nullptr;
    while (itr && mnt_table_next_fs(tb, itr, &f) == 0) {
      const char* src = mnt_fs_get_source(f);
      m_mounts->push_back({static_cast<std::uint64_t>(mnt_fs_get_devno(f)), src ? src : ""});
    }
    if (itr) mnt_free_iter(itr);
  }
  mnt_unref_table(tb);
}

}  // namespace mdi
