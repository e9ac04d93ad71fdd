#include <filesystem>

#include "directories.h"
#include "platform.h"
#include "windows_api.h"

namespace omrix::platform {

// The profile directory the account was given; HOME is seldom set on Windows.
std::string accountHome() { return environment("USERPROFILE"); }

// Under the user's profile a new directory inherits its owner-only access.
bool makePrivateDirectory(const std::string& directory) {
  namespace fs = std::filesystem;
  if (!fs::path(directory).is_absolute()) return false;
  std::string prefix;
  for (const fs::path& part : fs::path(directory)) {
    prefix = (fs::path(prefix) / part).string();
    if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
        GetLastError() != ERROR_ACCESS_DENIED)
      return false;
  }
  const DWORD attributes = GetFileAttributesA(directory.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace omrix::platform
