#include "platform/linux/LinuxDriveEnumerator.h"

#include "platform/linux/BlockProbe.h"
#include "platform/linux/BlockTree.h"
#include "platform/linux/ScsiDisk.h"
#include "platform/linux/SysfsAttributes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include <libudev.h>

#include "support/LineText.h"

namespace mdi {

namespace fs = std::filesystem;

namespace {

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

struct UdevHandle {
  udev* u = nullptr;
  UdevHandle() : u(udev_new()) {}
  ~UdevHandle() {
    if (u) udev_unref(u);
  }
  UdevHandle(const UdevHandle&) = delete;
  UdevHandle& operator=(const UdevHandle&) = delete;
};

}  // namespace

// One drive's record, read from the tree; whatever of it could not be read
// is noted on it.
struct LinuxDriveEnumerator::Impl {
  const LinuxDriveEnumerator& self;
  BlockTree tree;
  std::unique_ptr<UdevHandle> udevh;

  explicit Impl(const LinuxDriveEnumerator& s)
      : self(s), tree(s.m_sysRoot, s.m_mountInfo), udevh(realSys() ? std::make_unique<UdevHandle>() : nullptr) {}

  bool realSys() const { return fs::path(self.m_sysRoot) == fs::path("/sys"); }

  // One attribute of the disk (a path inside its folder); one that is there
  // but cannot be read is noted.
  std::string attr(const std::string& name, const std::string& rel, DriveRecord& r) const {
    const SysfsText t = readSysfsText(tree.block() / name / rel);
    if (!t.error.empty()) r.notes.push_back(rel + " could not be read: " + t.error);
    return t.text;
  }

  // One udev property of block device `name`; "" when udev does not know it
  // (no udev database, or not the real /sys).
  std::string udevProperty(const std::string& name, const char* key) const {
    if (self.m_udevProperty) return self.m_udevProperty(name, key);
    if (!udevh || !udevh->u) return {};
    udev_device* d = udev_device_new_from_subsystem_sysname(udevh->u, "block", name.c_str());
    if (!d) return {};
    const char* v = udev_device_get_property_value(d, key);
    std::string out = v ? v : "";
    udev_device_unref(d);
    return trimSpace(out);
  }

  std::string persistentId(const std::string& name) const {
    for (const char* key : {"ID_WWN", "ID_SERIAL"})
      if (std::string id = udevProperty(name, key); !id.empty()) return id;
    std::error_code ec;
    const fs::path real = fs::canonical(tree.block() / name, ec);
    return ec ? (tree.block() / name).string() : real.string();
  }

  // The serial number as the device reports it; "" when it has none.
  std::string serial(const std::string& name, DriveRecord& r) const {
    for (const char* key : {"ID_SERIAL_SHORT", "ID_SERIAL"})
      if (std::string s = udevProperty(name, key); !s.empty()) return s;
    if (std::string s = attr(name, "device/serial", r); !s.empty()) return s;  // NVMe, MMC
    return attr(name, "serial", r);                                            // virtio
  }

  std::string model(const std::string& name, DriveRecord& r) const {
    if (startsWith(name, "loop")) return "Loop " + attr(name, "loop/backing_file", r);
    const std::string m = attr(name, "device/model", r);
    if (startsWith(name, "nvme") && !m.empty()) return m;
    std::string v = attr(name, "device/vendor", r);
    // virtio reports a bare PCI vendor number, which says nothing to a user.
    if (startsWith(v, "0x")) v.clear();
    if (!v.empty() && !m.empty()) return v + " " + m;
    if (!v.empty() || !m.empty()) return v + m;
    if (std::string n = attr(name, "device/name", r); !n.empty()) return n;  // MMC cards
    // A device without a model of its own (virtio): what udev knows of it,
    // then what its driver is, and at the very least its kernel name, so
    // that no row and no question shows an empty model.
    if (std::string u = udevProperty(name, "ID_MODEL"); !u.empty()) {
      std::replace(u.begin(), u.end(), '_', ' ');
      return u;
    }
    if (std::string u = udevProperty(name, "ID_MODEL_FROM_DATABASE"); !u.empty()) return u;
    std::error_code ec;
    const std::string driver = fs::read_symlink(tree.block() / name / "device" / "driver", ec).filename().string();
    if (!ec && !driver.empty()) return driverModel(driver);
    return name;
  }

  // A number attribute; nullopt, noted with what follows from it, when it
  // cannot be read or is no number, and when it is missing if `needed`.
  std::optional<std::uint64_t> number(const std::string& name, const std::string& rel, DriveRecord& r, bool needed,
                                      const std::string& consequence) const {
    const SysfsText t = readSysfsText(tree.block() / name / rel);
    std::string problem;
    if (!t.error.empty()) {
      problem = " could not be read: " + t.error;
    } else if (t.text.empty()) {
      if (!needed) return std::nullopt;
      problem = " is missing";
    } else if (const auto v = parseSysfsNumber(t.text)) {
      return v;
    } else {
      problem = " is not a number: \"" + t.text + "\"";
    }
    r.notes.push_back(rel + problem + consequence);
    return std::nullopt;
  }

  std::optional<DriveRecord> record(const std::string& name) const {
    const fs::path dir = tree.block() / name;
    std::error_code ec;
    const fs::file_status st = fs::status(dir, ec);
    if (st.type() == fs::file_type::not_found) return std::nullopt;  // gone since the listing
    DriveRecord r;
    r.deviceId = "/dev/" + name;
    r.notes = tree.notesOf(name);
    if (ec) {
      // Nothing in it can be read: the drive is shown by its name alone.
      r.model = name;
      r.notes.push_back(dir.string() + " could not be examined: " + ec.message());
      return r;
    }
    r.model = model(name, r);
    r.serial = serial(name, r);
    const auto sectors = number(name, "size", r, true, "");
    if (sectors && *sectors > UINT64_MAX / 512)
      r.notes.push_back("size is too large to be true: " + std::to_string(*sectors) + " sectors");
    else r.size = sectors.value_or(0) * 512;
    const auto sectorSize = number(name, "queue/logical_block_size", r, false, "; 512 assumed");
    const bool usable = sectorSize && *sectorSize > 0 && *sectorSize <= UINT32_MAX;
    if (sectorSize && !usable)
      r.notes.push_back("queue/logical_block_size is no sector size: " + std::to_string(*sectorSize) + "; 512 assumed");
    r.bytesPerSector = usable ? static_cast<std::uint32_t>(*sectorSize) : 512;
    r.pnpDeviceId = persistentId(name);
    if (r.size == 0 && startsWith(name, "sd")) {
      // 520/522/524/528-byte sectors: the disk driver attaches the disk at
      // size 0; the disk itself still reports its blocks.
      const auto prober =
          self.m_prober
              ? self.m_prober
              : (realSys() ? LinuxDriveEnumerator::ScsiProber([](const std::string& n) { return probeScsiDisk(n); })
                           : LinuxDriveEnumerator::ScsiProber());
      if (prober) {
        const ScsiProbe probe = prober(r.deviceId);
        if (probe.info && probe.info->capacity.blockCount > 0) {
          applyScsiDiskInfo(r, *probe.info);
          r.passThrough = true;
        } else if (probe.denied && number(name, "removable", r, false, "").value_or(0) == 0) {
          // A fixed disk always has its medium: one left at size 0 is such a
          // disk (a card reader without a card is removable).
          r.passThrough = r.passThroughDenied = true;
          r.notes.emplace_back(
              "Read only through SCSI pass-through (sectors of 520, 522, 524 or 528 bytes), which needs root or the "
              "disk group: its size is not known to this user");
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
      } else if (startsWith(name, "loop")) {
        // Not ours to open: which file it reads is still known, so that no
        // image is ever written over it; its first bytes are not.
        r.loopBacking = loopBackingFile(r.deviceId);
      }
    }
    r.devNumber = tree.devOf(name);
    return r;
  }

  // The listed disks under the filesystem holding `path`, by name.
  BlockTree::Found disksUnder(const std::string& path) const {
    // A folder that does not exist yet will be made on its nearest
    // existing parent's filesystem.
    struct stat st {};
    fs::path p = fs::path(path).lexically_normal();
    while (::stat(p.c_str(), &st) != 0) {
      if (const int err = errno; err != ENOENT && err != ENOTDIR) {
        BlockTree::Found none;
        none.doubts.push_back(p.string() +
                              " could not be examined: " + std::error_code(err, std::generic_category()).message());
        return none;
      }
      if (p == "." || !p.has_relative_path() || p.parent_path() == p) return {};
      p = p.parent_path();
      if (p.empty()) p = ".";
    }
    return tree.disksUnderFs(st.st_dev);
  }
};

LinuxDriveEnumerator::LinuxDriveEnumerator(std::string sysRoot, std::string mountInfo)
    : m_sysRoot(std::move(sysRoot)), m_mountInfo(std::move(mountInfo)) {}

bool LinuxDriveEnumerator::isListedName(const std::string& n) {
  if (n.empty()) return false;
  if (startsWith(n, "mmcblk")) return n.find("boot") == std::string::npos && n.find("rpmb") == std::string::npos;
  return startsWith(n, "sd") || startsWith(n, "nvme") || startsWith(n, "vd") || startsWith(n, "xvd") ||
         startsWith(n, "hd") || startsWith(n, "loop");
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
  const Impl impl(*this);
  const std::vector<std::string>& listed = impl.tree.listed();
  for (std::size_t i = 0; i < listed.size(); ++i) {
    auto r = impl.record(listed[i]);
    if (!r) continue;  // gone since the listing; the others keep their numbers
    r->number = static_cast<int>(i);
    out.push_back(std::move(*r));
  }
  return out;
}

namespace {
std::string joined(const std::vector<std::string>& doubts) {
  std::string out;
  for (const std::string& d : doubts) out += (out.empty() ? "" : "; ") + d;
  return out;
}
}  // namespace

LinuxDriveEnumerator::DisksUnder LinuxDriveEnumerator::disksUnder(const std::string& path) {
  const Impl impl(*this);
  const BlockTree::Found found = impl.disksUnder(path);
  DisksUnder out;
  for (const std::string& name : impl.tree.listed())
    if (found.disks.count(name)) out.nodes.push_back("/dev/" + name);
  out.failure = joined(found.doubts);
  return out;
}

DrivesUnder LinuxDriveEnumerator::drivesUnder(const std::string& path) {
  const Impl impl(*this);
  const BlockTree::Found found = impl.disksUnder(path);
  DrivesUnder out;
  const std::vector<std::string>& listed = impl.tree.listed();
  for (std::size_t i = 0; i < listed.size(); ++i)
    if (found.disks.count(listed[i])) out.numbers.push_back(static_cast<int>(i));
  out.failure = joined(found.doubts);
  return out;
}

std::optional<DriveRecord> LinuxDriveEnumerator::probe(const std::string& node) {
  if (!startsWith(node, "/dev/")) return std::nullopt;
  const Impl impl(*this);
  const std::string name = node.substr(5);
  const std::vector<std::string>& listed = impl.tree.listed();
  if (std::find(listed.begin(), listed.end(), name) == listed.end()) return std::nullopt;
  return impl.record(name);
}

}  // namespace mdi
