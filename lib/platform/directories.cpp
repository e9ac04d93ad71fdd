#include "directories.h"

#include <filesystem>

#include "platform.h"

namespace omrix::platform {

Directories libraryDirectories() {
  namespace fs = std::filesystem;
  DirectorySources sources;
  sources.libraryVariable = environment("OMRIX_LIBRARY_DIR");
  sources.stateVariable = environment("OMRIX_STATE_DIR");
  std::string modulePath;
  if (system().ownModulePath(modulePath))
    sources.moduleDirectory = fs::path(modulePath).parent_path().string();
  FileStatus marker;
  sources.buildTree =
      !sources.moduleDirectory.empty() &&
      files().status((fs::path(sources.moduleDirectory) / kBuildTreeMarker).string(), marker) &&
      marker.isRegular;
  if (system().secureExecution()) {
    sources.home = accountHome();
  } else {
    sources.stateHome = environment("XDG_STATE_HOME");
    sources.home = environment("HOME");
    if (sources.home.empty()) sources.home = accountHome();
  }
  return ChooseDirectories(sources);
}

}  // namespace omrix::platform
