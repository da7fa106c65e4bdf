#define FUSE_USE_VERSION 312
#include "tests/fakes/fusedev/FaultFs.h"

#include <fuse_lowlevel.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>

#include "tests/fakes/LoopDevice.h"

namespace mdi::fusedev {
namespace {

constexpr fuse_ino_t kRoot = FUSE_ROOT_ID;
constexpr fuse_ino_t kFirstFile = 2;
// Files never change, so the kernel may keep names and sizes for long.
constexpr double kTimeout = 3600.0;
// Worker threads: every stalled or throttled read holds one.
constexpr unsigned kMaxThreads = 64;

FaultFs* owner(fuse_req_t req) { return static_cast<FaultFs*>(fuse_req_userdata(req)); }

// Everything is read-only and belongs to whoever mounted it: the root
// folder (no file) and the files in it.
struct stat attr(fuse_ino_t ino, const FaultFile* f) {
  const std::uint64_t size = f ? f->size() : 0;
  struct stat st {};
  st.st_ino = ino;
  st.st_mode = f ? S_IFREG | 0444 : S_IFDIR | 0555;
  st.st_nlink = f ? 1 : 2;
  st.st_uid = ::getuid();
  st.st_gid = ::getgid();
  st.st_size = static_cast<off_t>(size);
  st.st_blksize = 4096;
  st.st_blocks = static_cast<blkcnt_t>((size + 511) / 512);
  return st;
}

}  // namespace

struct FaultFsOps {
  // The file of an inode the kernel asks about; ENOENT is answered for another.
  static FaultFile* fileOf(fuse_req_t req, fuse_ino_t ino) {
    FaultFile* f = owner(req)->byInode(ino);
    if (!f) fuse_reply_err(req, ENOENT);
    return f;
  }

  // Only the root folder holds anything.
  static void lookup(fuse_req_t req, fuse_ino_t, const char* name) {
    for (fuse_ino_t ino = kFirstFile; const FaultFile* f = owner(req)->byInode(ino); ++ino) {
      if (f->name() != name) continue;
      fuse_entry_param e{};
      e.ino = ino;
      e.attr = attr(ino, f);
      e.attr_timeout = kTimeout;
      e.entry_timeout = kTimeout;
      fuse_reply_entry(req, &e);
      return;
    }
    fuse_reply_err(req, ENOENT);
  }

  static void getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    const FaultFile* f = ino == kRoot ? nullptr : fileOf(req, ino);
    if (ino != kRoot && !f) return;
    const struct stat st = attr(ino, f);
    fuse_reply_attr(req, &st, kTimeout);
  }

  // Opens for writing never get here: the mount is read-only.
  static void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    if (!fileOf(req, ino)) return;
    fi->direct_io = 1;  // every read reaches serve() as issued
    fuse_reply_open(req, fi);
  }

  static void read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    FaultFile* f = fileOf(req, ino);
    if (!f) return;
    thread_local std::vector<std::uint8_t> buf;
    const long long n = f->serve(static_cast<std::uint64_t>(off), size, buf);
    if (n < 0) {
      fuse_reply_err(req, static_cast<int>(-n));
      return;
    }
    fuse_reply_buf(req, reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n));
  }
};

namespace {

fuse_lowlevel_ops makeOps() {
  fuse_lowlevel_ops ops{};
  ops.init = [](void*, fuse_conn_info* conn) { conn->want &= ~FUSE_CAP_ASYNC_DIO; };
  ops.lookup = FaultFsOps::lookup;
  ops.getattr = FaultFsOps::getattr;
  ops.open = FaultFsOps::open;
  ops.read = FaultFsOps::read;
  return ops;
}

// Ends a connection that open files keep alive after the unmount: their
// reads then fail with ENOTCONN instead of holding this process forever.
// The control filesystem is mounted for the moment where the system has not.
void abortConnection(unsigned connection) {
  const std::string dir = "/sys/fs/fuse/connections";
  const std::string abortFile = dir + "/" + std::to_string(connection) + "/abort";
  const bool mounted =
      !std::filesystem::exists(abortFile) && ::mount("fusectl", dir.c_str(), "fusectl", 0, nullptr) == 0;
  if (std::ofstream abort(abortFile); abort) abort << "1\n";
  if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
}

}  // namespace

std::string FaultFs::unavailableReason() {
  return rootDeviceUnavailable("/dev/fuse", "mounting a FUSE filesystem here");
}

FaultFs::FaultFs(std::filesystem::path mountPoint) : m_mountPoint(std::move(mountPoint)) {
  m_madeFolder = std::filesystem::create_directories(m_mountPoint);

  // ro: the kernel refuses writes before they reach us. default_permissions:
  // the kernel checks the 0444 modes. fsname shows whose mount it is.
  const char* argv[] = {"mdi-fusedev", "-o", "ro,default_permissions,fsname=mdi-fusedev,subtype=mdi-fusedev"};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
  const fuse_lowlevel_ops ops = makeOps();
  m_session = fuse_session_new(&args, &ops, sizeof ops, this);
  fuse_opt_free_args(&args);
  if (!m_session || fuse_session_mount(m_session, m_mountPoint.c_str()) != 0) {
    if (m_session) fuse_session_destroy(m_session);
    if (m_madeFolder) ::rmdir(m_mountPoint.c_str());
    throw std::system_error(EIO, std::generic_category(), "cannot mount a FUSE filesystem on " + m_mountPoint.string());
  }
  m_loop = std::async(std::launch::async, [this] {
    fuse_loop_config* cfg = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(cfg, kMaxThreads);
    fuse_session_loop_mt(m_session, cfg);
    fuse_loop_cfg_destroy(cfg);
  });
  // Only now: the kernel answers nothing on the mount before the loop runs.
  struct stat st {};
  if (::stat(m_mountPoint.c_str(), &st) == 0) m_connection = minor(st.st_dev);
}

FaultFs::~FaultFs() {
  for (fuse_ino_t ino = kFirstFile; FaultFile* f = byInode(ino); ++ino) f->shutDown();
  // Lazy: the mount leaves the namespace at once; the kernel ends the
  // connection, and with it the loop, when the last open file is closed.
  ::umount2(m_mountPoint.c_str(), MNT_DETACH);
  if (m_loop.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    abortConnection(m_connection);
    fuse_session_exit(m_session);
  }
  m_loop.wait();
  fuse_session_unmount(m_session);
  fuse_session_destroy(m_session);
  if (m_madeFolder) ::rmdir(m_mountPoint.c_str());
}

FaultFile& FaultFs::add(FileSpec spec) {
  std::lock_guard lock(m_mutex);
  const std::filesystem::path path = m_mountPoint / spec.name;
  m_files.push_back(std::make_unique<FaultFile>(std::move(spec), path));
  return *m_files.back();
}

FaultFile* FaultFs::byInode(unsigned long long ino) {
  std::lock_guard lock(m_mutex);
  if (ino < kFirstFile || ino - kFirstFile >= m_files.size()) return nullptr;
  return m_files[ino - kFirstFile].get();
}

}  // namespace mdi::fusedev
