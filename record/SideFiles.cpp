#include "record/SideFiles.h"

#include "record/AcquisitionLog.h"

namespace mdi {

std::optional<std::string> readSmallFile(FileAccess& files, const std::string& path) {
  constexpr std::size_t kMost = 64u << 20;
  const std::unique_ptr<Source> source = files.openSource(path);
  std::string text;
  std::vector<std::byte> buf(1 << 16);
  for (;;) {
    const IoResult r = source->read(buf);
    if (r.failed()) return std::nullopt;
    text.append(reinterpret_cast<const char*>(buf.data()), r.bytes);
    if (r.bytes < buf.size()) return text;
    if (text.size() > kMost) return std::nullopt;
  }
}

std::string extraFilePath(const std::string& image) { return image + ".extra"; }

std::vector<std::string> sideFilePaths(const std::string& image) {
  std::vector<std::string> paths{extraFilePath(image)};
  for (HashAlgo a : kAllHashAlgos) paths.push_back(checksumFilePath(image, a));
  paths.push_back(image + ".log");
  paths.push_back(image + ".map");
  return paths;
}

std::vector<std::string> jobFilePaths(const std::string& image) {
  std::vector<std::string> paths = sideFilePaths(image);
  paths.insert(paths.begin(), image);
  return paths;
}

}  // namespace mdi
