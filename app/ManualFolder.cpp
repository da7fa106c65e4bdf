#include "app/ManualFolder.h"

#include <filesystem>

namespace mdi {

std::string manualFolder(const std::string& programFolder, const std::string& installedFromProgram,
                         const std::function<bool(const std::string&)>& isFile) {
  if (isFile(programFolder + "/" + kManualFileName)) return programFolder;
  if (installedFromProgram.empty()) return programFolder;
  // Lexical only: the program's folder comes resolved from the OS, and the
  // window shows and opens this path.
  const std::string installed =
      (std::filesystem::path(programFolder) / installedFromProgram).lexically_normal().string();
  return isFile(installed + "/" + kManualFileName) ? installed : programFolder;
}

}  // namespace mdi
