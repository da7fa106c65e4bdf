#pragma once
// Loop devices a test attaches over files in its own temporary folder and
// always detaches again. Needs root and /dev/loop-control; skipReason()
// says why not.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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
    for (const std::string& l : m_loops) detach(l);
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  LoopFiles(const LoopFiles&) = delete;
  LoopFiles& operator=(const LoopFiles&) = delete;

  // Attaches a new file of `mib` MiB; returns the loop's node or "".
  std::string attach(const std::string& name, int mib) {
    const std::string file = (m_dir / name).string();
    if (std::system(("truncate -s " + std::to_string(mib) + "M '" + file + "'").c_str()) != 0) return {};
    std::string out;
    if (FILE* p = ::popen(("losetup -f --show '" + file + "' 2>/dev/null").c_str(), "r")) {
      std::array<char, 128> buf{};
      while (std::fgets(buf.data(), static_cast<int>(buf.size()), p)) out += buf.data();
      ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    if (out.rfind("/dev/loop", 0) != 0) return {};
    m_loops.push_back(out);
    return out;
  }
  void detach(const std::string& loop) {
    if (std::system(("losetup -d " + loop + " >/dev/null 2>&1").c_str()) != 0) return;
    std::erase(m_loops, loop);
  }
  std::string file(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
  std::vector<std::string> m_loops;
};

}  // namespace mdi
