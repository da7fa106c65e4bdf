#include "engine/SideFiles.h"

#include "engine/AcquisitionLog.h"

namespace mdi {

std::string extraFilePath(const std::string& image) { return image + ".extra"; }

std::vector<std::string> sideFilePaths(const std::string& image, HashAlgos algos, bool extra) {
  std::vector<std::string> paths;
  if (extra) paths.push_back(extraFilePath(image));
  for (HashAlgo a : algos.list()) paths.push_back(checksumFilePath(image, a));
  paths.push_back(image + ".log");
  paths.push_back(image + ".map");
  return paths;
}

}  // namespace mdi
