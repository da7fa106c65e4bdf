#pragma once
// Loop devices a test attaches over files in its own temporary folder and
// always detaches again. Needs root and /dev/loop-control; skipReason()
// says why not.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/Shell.h"

namespace mdi {

class LoopFiles {
 public:
  static std::string skipReason() {
    if (::geteuid() != 0) return "needs root to attach loop devices";
    if (!std::filesystem::exists("/dev/loop-control")) return "no /dev/loop-control";
    return {};
  }
  explicit LoopFiles(std::filesystem::path dir) : m_dir(std::move(dir)) { std::filesystem::create_directories(m_dir); }
  ~LoopFiles() {
    for (const std::string& l : std::vector(m_loops)) detach(l);
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  LoopFiles(const LoopFiles&) = delete;
  LoopFiles& operator=(const LoopFiles&) = delete;

  // Attaches a new file of `mib` MiB with losetup `options` (such as "-r
  // --sector-size 4096"); returns the loop's node or "".
  std::string attach(const std::string& name, int mib, const std::string& options = "") {
    const std::string quoted = test::shellQuote(file(name));
    if (test::shell("truncate -s " + std::to_string(mib) + "M " + quoted).exitCode != 0) return {};
    const std::string loop = test::shell("losetup -f --show " + options + " " + quoted + " 2>/dev/null").line();
    if (loop.rfind("/dev/loop", 0) != 0) return {};
    m_loops.push_back(loop);
    return loop;
  }
  void detach(const std::string& loop) {
    if (test::shell("losetup -d " + loop + " >/dev/null").exitCode == 0) std::erase(m_loops, loop);
  }
  std::string file(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
  std::vector<std::string> m_loops;
};

}  // namespace mdi
