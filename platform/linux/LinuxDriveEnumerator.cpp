#include "platform/linux/LinuxDriveEnumerator.h"
#include "platform/linux/BlockProbe.h"
#include "platform/linux/ScsiDisk.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <libmount.h>
#include <libudev.h>

namespace mdi {

namespace fs = std::filesystem;

namespace {

std::string trim(std::string s) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t i = 0;
  while (i < s.size() && blank(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

// One attribute file, trimmed; "" when it cannot be read.
std::string readAttr(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  if (s.size() > 4096) s.resize(4096);
  // Control bytes would only garble the grid.
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n') c = ' ';
  return trim(s);
}

std::optional<std::uint64_t> readNumber(const fs::path& p) {
  const std::string s = readAttr(p);
  if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
    if (v > (UINT64_MAX - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  return v;
}

// "8:16" -> dev_t
std::optional<std::uint64_t> readDevFile(const fs::path& p) {
  const std::string s = readAttr(p);
  const auto colon = s.find(':');
  if (colon == std::string::npos) return std::nullopt;
  try {
    const unsigned long maj = std::stoul(s.substr(0, colon));
    const unsigned long min = std::stoul(s.substr(colon + 1));
    return static_cast<std::uint64_t>(makedev(maj, min));
  } catch (...) {
    return std::nullopt;
  }
}

std::vector<std::string> listDir(const fs::path& p) {
  std::vector<std::string> out;
  std::error_code ec;
  fs::directory_iterator it(p, ec), end;
  for (; !ec && it != end; it.increment(ec)) out.push_back(it->path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool startsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

int groupRank(const std::string& name) {
  if (startsWith(name, "sd")) return 0;
  if (startsWith(name, "hd")) return 1;
  if (startsWith(name, "vd")) return 2;
  if (startsWith(name, "xvd")) return 3;
  if (startsWith(name, "nvme")) return 4;
  if (startsWith(name, "mmcblk")) return 5;
  if (startsWith(name, "loop")) return 6;
  return 7;
}

// What a disk driver's devices are called where the device names none.
std::string driverModel(const std::string& driver) {
  static const std::map<std::string, std::string> kNames = {
      {"virtio_blk", "Virtio Block Device"},
      {"vbd", "Xen Virtual Block Device"},
      {"xen_blkfront", "Xen Virtual Block Device"},
  };
  auto it = kNames.find(driver);
  return it != kNames.end() ? it->second : driver;
}

struct BlockEntry {
  std::string name;     // kernel name
  std::string disk;     // whole disk it belongs to (itself for a disk)
  std::uint64_t dev = 0;
};

struct UdevHandle {
  udev* u = nullptr;
  UdevHandle() : u(udev_new()) {}
  ~UdevHandle() { if (u) udev_unref(u); }
  UdevHandle(const UdevHandle&) = delete;
  UdevHandle& operator=(const UdevHandle&) = delete;
};

}  // namespace

struct LinuxDriveEnumerator::Impl {
  const LinuxDriveEnumerator& self;
  fs::path block;
  std::map<std::uint64_t, BlockEntry> byDev;
  std::map<std::string, BlockEntry> byName;
  std::vector<std::string> listed;  // in drive-number order

  explicit Impl(const LinuxDriveEnumerator& s) : self(s), block(fs::path(s.m_sysRoot) / "block") {
    for (const std::string& name : listDir(block)) {
      const fs::path dir = block / name;
      BlockEntry e{name, name, 0};
      if (auto d = readDevFile(dir / "dev")) e.dev = *d;
      add(e);
      for (const std::string& sub : listDir(dir)) {
        if (!fs::exists(dir / sub / "partition")) continue;
        BlockEntry p{sub, name, 0};
        if (auto d = readDevFile(dir / sub / "dev")) p.dev = *d;
        add(p);
      }
      if (isListed(name)) listed.push_back(name);
    }
    std::sort(listed.begin(), listed.end(), naturalLess);
  }

  void add(const BlockEntry& e) {
    byName[e.name] = e;
    if (e.dev != 0) byDev[e.dev] = e;
  }

  bool isListed(const std::string& name) const {
    if (!isListedName(name)) return false;
    const fs::path dir = block / name;
    if (readAttr(dir / "hidden") == "1") return false;  // NVMe multipath legs
    if (startsWith(name, "loop")) return !readAttr(dir / "loop" / "backing_file").empty();
    return true;
  }

  // Listed whole disks under block device `dev`, following partitions to
  // their disk, dm/md to their slaves and loops to their backing file.
  void resolve(std::uint64_t dev, std::set<std::string>& out, int depth) const {
    if (depth > 16) return;
    auto it = byDev.find(dev);
    if (it == byDev.end()) return;
    const std::string& disk = it->second.disk;
    if (std::find(listed.begin(), listed.end(), disk) != listed.end()) out.insert(disk);
    for (const std::string& slave : listDir(block / disk / "slaves")) {
      auto s = byName.find(slave);
      if (s != byName.end() && s->second.dev != 0) resolve(s->second.dev, out, depth + 1);
    }
    if (startsWith(disk, "loop")) {
      const std::string backing = readAttr(block / disk / "loop" / "backing_file");
      struct stat st {};
      if (!backing.empty() && ::stat(backing.c_str(), &st) == 0)
        resolveFs(st.st_dev, out, depth + 1);
    }
  }

  // A filesystem's st_dev: a block device, or an anonymous device (btrfs,
  // overlay, tmpfs) whose mount source may name the block device.
  void resolveFs(std::uint64_t dev, std::set<std::string>& out, int depth) const {
    if (byDev.count(dev)) {
      resolve(dev, out, depth);
      return;
    }
    for (const Mount& m : mountTable())
      if (m.dev == dev) {
        struct stat st {};
        if (startsWith(m.source, "/dev/") && ::stat(m.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
          resolve(st.st_rdev, out, depth);
        else if (auto byNode = nodeDev(m.source))
          resolve(*byNode, out, depth);
      }
  }

  // "/dev/NAME" looked up in the sysfs listing (fake trees have no nodes).
  std::optional<std::uint64_t> nodeDev(const std::string& source) const {
    if (!startsWith(source, "/dev/")) return std::nullopt;
    auto it = byName.find(source.substr(5));
    if (it == byName.end() || it->second.dev == 0) return std::nullopt;
    return it->second.dev;
  }

  struct Mount { std::uint64_t dev; std::string source; };
  mutable std::optional<std::vector<Mount>> mounts;
  const std::vector<Mount>& mountTable() const {
    if (mounts) return *mounts;
    mounts.emplace();
    libmnt_table* tb = mnt_new_table();
    if (!tb) return *mounts;
    if (mnt_table_parse_file(tb, self.m_mountInfo.c_str()) == 0) {
      libmnt_iter* itr = mnt_new_iter(MNT_ITER_FORWARD);
      libmnt_fs* f = nullptr;
      while (itr && mnt_table_next_fs(tb, itr, &f) == 0) {
        const char* src = mnt_fs_get_source(f);
        mounts->push_back({static_cast<std::uint64_t>(mnt_fs_get_devno(f)), src ? src : ""});
      }
      if (itr) mnt_free_iter(itr);
    }
    mnt_unref_table(tb);
    return *mounts;
  }
  // One udev property of block device `name`; "" when udev does not know it
  // (no udev database, or not the real /sys).
  std::string udevProperty(const std::string& name, const char* key, UdevHandle* udevh) const {
    if (self.m_udevProperty) return self.m_udevProperty(name, key);
    if (!udevh || !udevh->u) return {};
    udev_device* d = udev_device_new_from_subsystem_sysname(udevh->u, "block", name.c_str());
    if (!d) return {};
    const char* v = udev_device_get_property_value(d, key);
    std::string out = v ? v : "";
    udev_device_unref(d);
    return trim(out);
  }

  std::string persistentId(const std::string& name, UdevHandle* udevh) const {
    for (const char* key : {"ID_WWN", "ID_SERIAL"})
      if (std::string id = udevProperty(name, key, udevh); !id.empty()) return id;
    std::error_code ec;
    const fs::path real = fs::canonical(block / name, ec);
    return ec ? (block / name).string() : real.string();
  }

  // The serial number as the device reports it; "" when it has none.
  std::string serial(const std::string& name, UdevHandle* udevh) const {
    for (const char* key : {"ID_SERIAL_SHORT", "ID_SERIAL"})
      if (std::string s = udevProperty(name, key, udevh); !s.empty()) return s;
    if (std::string s = readAttr(block / name / "device" / "serial"); !s.empty()) return s;  // NVMe, MMC
    return readAttr(block / name / "serial");  // virtio
  }

  std::string model(const std::string& name, UdevHandle* udevh) const {
    const fs::path dir = block / name;
    if (startsWith(name, "loop")) return "Loop " + readAttr(dir / "loop" / "backing_file");
    const std::string m = readAttr(dir / "device" / "model");
    if (startsWith(name, "nvme") && !m.empty()) return m;
    std::string v = readAttr(dir / "device" / "vendor");
    // virtio reports a bare PCI vendor number, which says nothing to a user.
    if (startsWith(v, "0x")) v.clear();
    if (!v.empty() && !m.empty()) return v + " " + m;
    if (!v.empty() || !m.empty()) return v + m;
    if (std::string n = readAttr(dir / "device" / "name"); !n.empty()) return n;  // MMC cards
    // A device without a model of its own (virtio): what udev knows of it,
    // then what its driver is, and at the very least its kernel name, so
    // that no row and no question shows an empty model.
    if (std::string u = udevProperty(name, "ID_MODEL", udevh); !u.empty()) {
      std::replace(u.begin(), u.end(), '_', ' ');
      return u;
    }
    if (std::string u = udevProperty(name, "ID_MODEL_FROM_DATABASE", udevh); !u.empty()) return u;
    std::error_code ec;
    const std::string driver = fs::read_symlink(dir / "device" / "driver", ec).filename().string();
    if (!ec && !driver.empty()) return driverModel(driver);
    return name;
  }

  std::optional<DriveRecord> record(const std::string& name, UdevHandle* udevh) const {
    const fs::path dir = block / name;
    if (!fs::exists(dir)) return std::nullopt;
    DriveRecord r;
    r.deviceId = "/dev/" + name;
    r.model = model(name, udevh);
    r.serial = serial(name, udevh);
    r.size = readNumber(dir / "size").value_or(0) * 512;
    r.bytesPerSector = static_cast<std::uint32_t>(
        readNumber(dir / "queue" / "logical_block_size").value_or(512));
    r.pnpDeviceId = persistentId(name, udevh);
    if (r.size == 0 && startsWith(name, "sd")) {
      // 520/522/524/528-byte sectors: the disk driver attaches the disk at
      // size 0; the disk itself still reports its blocks.
      const auto prober = self.m_prober ? self.m_prober
                                        : (realSys() ? LinuxDriveEnumerator::ScsiProber(
                                                           [](const std::string& n) { return probeScsiDisk(n); })
                                                     : LinuxDriveEnumerator::ScsiProber());
      if (prober) {
        if (auto info = prober(r.deviceId); info && info->capacity.blockCount > 0) {
          applyScsiDiskInfo(r, *info);
          r.passThrough = true;
        }
      }
    }
    r.mediaPresent = r.size > 0;
    if (realSys() && !r.passThrough && r.mediaPresent) {
      // Loop devices and disks without a serial have nothing else that
      // tells the listed medium from another one put under the same node.
      if (auto probe = probeBlockDevice(r.deviceId, self.m_sysRoot)) {
        r.loopBacking = probe->identity.loopBacking;
        r.contentHash = probe->identity.contentHash;
      }
    }
    auto e = byName.find(name);
    if (e != byName.end()) r.devNumber = e->second.dev;
    return r;
  }

  bool realSys() const { return fs::path(self.m_sysRoot) == fs::path("/sys"); }
};

LinuxDriveEnumerator::LinuxDriveEnumerator(std::string sysRoot, std::string mountInfo)
    : m_sysRoot(std::move(sysRoot)), m_mountInfo(std::move(mountInfo)) {}

bool LinuxDriveEnumerator::isListedName(const std::string& n) {
  if (n.empty()) return false;
  if (startsWith(n, "mmcblk"))
    return n.find("boot") == std::string::npos && n.find("rpmb") == std::string::npos;
  return startsWith(n, "sd") || startsWith(n, "nvme") || startsWith(n, "vd") ||
         startsWith(n, "xvd") || startsWith(n, "hd") || startsWith(n, "loop");
}

bool LinuxDriveEnumerator::naturalLess(const std::string& a, const std::string& b) {
  const int ga = groupRank(a), gb = groupRank(b);
  if (ga != gb) return ga < gb;
  std::size_t i = 0, j = 0;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    const bool da = isDigit(a[i]), db = isDigit(b[j]);
    std::size_t ei = i, ej = j;
    while (ei < a.size() && isDigit(a[ei]) == da) ++ei;
    while (ej < b.size() && isDigit(b[ej]) == db) ++ej;
    std::string ra = a.substr(i, ei - i), rb = b.substr(j, ej - j);
    if (da && db) {
      ra.erase(0, std::min(ra.find_first_not_of('0'), ra.size()));
      rb.erase(0, std::min(rb.find_first_not_of('0'), rb.size()));
    }
    if (da != db) return da;  // digits before letters
    // Shorter runs first: sdz before sdaa, 9 before 10.
    if (ra.size() != rb.size()) return ra.size() < rb.size();
    if (ra != rb) return ra < rb;
    i = ei;
    j = ej;
  }
  return a.size() - i < b.size() - j;
}

std::vector<DriveRecord> LinuxDriveEnumerator::drives() {
  std::vector<DriveRecord> out;
  try {
    Impl impl(*this);
    std::unique_ptr<UdevHandle> udevh;
    if (impl.realSys()) udevh = std::make_unique<UdevHandle>();
    for (std::size_t i = 0; i < impl.listed.size(); ++i) {
      const std::string& name = impl.listed[i];
      auto r = impl.record(name, udevh.get());
      if (!r) continue;  // gone since the listing; the others keep their numbers
      r->number = static_cast<int>(i);
      out.push_back(std::move(*r));
    }
  } catch (...) {
    // A tree that changes under us gives what was read so far.
  }
  return out;
}

std::vector<std::string> LinuxDriveEnumerator::disksUnder(const std::string& path) {
  std::vector<std::string> out;
  try {
    // A folder that does not exist yet will be made on its nearest
    // existing parent's filesystem.
    struct stat st {};
    fs::path p = fs::path(path).lexically_normal();
    while (::stat(p.c_str(), &st) != 0) {
      if (p == "." || !p.has_relative_path() || p.parent_path() == p) return out;
      p = p.parent_path();
      if (p.empty()) p = ".";
    }
    Impl impl(*this);
    std::set<std::string> disks;
    impl.resolveFs(st.st_dev, disks, 0);
    for (const std::string& name : impl.listed)
      if (disks.count(name)) out.push_back("/dev/" + name);
  } catch (...) {
  }
  return out;
}

std::vector<int> LinuxDriveEnumerator::drivesUnder(const std::string& path) {
  std::vector<int> out;
  const std::vector<std::string> nodes = disksUnder(path);
  try {
    Impl impl(*this);
    for (std::size_t i = 0; i < impl.listed.size(); ++i)
      if (std::find(nodes.begin(), nodes.end(), "/dev/" + impl.listed[i]) != nodes.end())
        out.push_back(static_cast<int>(i));
  } catch (...) {
  }
  return out;
}

std::optional<DriveRecord> LinuxDriveEnumerator::probe(const std::string& node) {
  try {
    if (!startsWith(node, "/dev/")) return std::nullopt;
    Impl impl(*this);
    const std::string name = node.substr(5);
    if (std::find(impl.listed.begin(), impl.listed.end(), name) == impl.listed.end())
      return std::nullopt;
    std::unique_ptr<UdevHandle> udevh;
    if (impl.realSys()) udevh = std::make_unique<UdevHandle>();
    return impl.record(name, udevh.get());
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace mdi
