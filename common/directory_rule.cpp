#include "directory_rule.h"

#include <filesystem>

namespace omrix {

namespace {

namespace fs = std::filesystem;

// A user's state under XDG_STATE_HOME, or under the home directory when that is unset.
constexpr const char* kStateSubdirectory = "omrix/";
constexpr const char* kDefaultStateHome = ".local/state/";

// A directory that ends in the system's own separator ends already.
std::string WithTrailingSlash(std::string directory) {
  const bool ended = !directory.empty() &&
                     (directory.back() == '/' || directory.back() == fs::path::preferred_separator);
  if (!directory.empty() && !ended) directory += '/';
  return directory;
}

bool IsAbsolute(const std::string& path) { return fs::path(path).is_absolute(); }

}  // namespace

Directories ChooseDirectories(const DirectorySources& sources) {
  Directories chosen;
  if (!sources.libraryVariable.empty()) {
    chosen.data = WithTrailingSlash(sources.libraryVariable);
  } else if (!sources.moduleDirectory.empty()) {
    chosen.data =
        sources.buildTree
            ? WithTrailingSlash(sources.moduleDirectory)
            : WithTrailingSlash((fs::path(sources.moduleDirectory) / OMRIX_DATA_FROM_LIBRARY)
                                    .lexically_normal()
                                    .string());
  }

  if (!sources.stateVariable.empty()) {
    chosen.state = WithTrailingSlash(sources.stateVariable);
    chosen.makeState = true;
  } else if (!sources.libraryVariable.empty() || sources.buildTree) {
    // A directory named as the library's own, or a build tree, keeps everything together.
    chosen.state = chosen.data;
  } else if (IsAbsolute(sources.stateHome)) {
    chosen.state = WithTrailingSlash(sources.stateHome) + kStateSubdirectory;
    chosen.makeState = true;
  } else if (IsAbsolute(sources.home)) {
    chosen.state = WithTrailingSlash(sources.home) + kDefaultStateHome + kStateSubdirectory;
    chosen.makeState = true;
  }
  return chosen;
}

}  // namespace omrix
