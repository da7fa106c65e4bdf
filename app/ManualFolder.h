#pragma once
// Where the program finds its manual: beside itself in the build tree, and
// in the installed data folder, reached from the program's own folder, when
// installed (bin/ -> ../share/mdimager). Plain C++: the caller says which
// files exist.
#include <functional>
#include <string>

namespace mdi {

inline constexpr const char* kManualFileName = "Pellamy.html";

// The folder that holds the manual: `programFolder` itself when the manual
// is there, else `programFolder`/`installedFromProgram` when it is there,
// else `programFolder` (the window then offers no help). `isFile(path)`
// says whether a file exists at `path`.
std::string manualFolder(const std::string& programFolder, const std::string& installedFromProgram,
                         const std::function<bool(const std::string&)>& isFile);

}  // namespace mdi
