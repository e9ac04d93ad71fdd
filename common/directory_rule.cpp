#include "directory_rule.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace omrix {

namespace {

namespace fs = std::filesystem;

// A user's state under XDG_STATE_HOME, or under the home directory when that is unset.
constexpr const char* kStateSubdirectory = "omrix/";
constexpr const char* kDefaultStateHome = ".local/state/";
constexpr mode_t kPrivateDirectoryMode = 0700;

std::string WithTrailingSlash(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

std::string AccountHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  constexpr long kFallbackBufferSize = 16384;
  if (size <= 0) size = kFallbackBufferSize;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !entry.pw_dir)
    return "";
  return entry.pw_dir;
}

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

bool MakePrivateDirectory(const std::string& directory) {
  if (!IsAbsolute(directory)) return false;
  std::string prefix;
  for (const fs::path& part : fs::path(directory)) {
    prefix = (fs::path(prefix) / part).string();
    if (::mkdir(prefix.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) return false;
  }
  struct stat status {};
  return ::stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace omrix
