#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "directories.h"

namespace omrix::platform {

namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;

}  // namespace

std::string accountHome() {
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

bool makePrivateDirectory(const std::string& directory) {
  namespace fs = std::filesystem;
  if (directory.empty() || directory.front() != '/') return false;
  std::string prefix;
  for (const fs::path& part : fs::path(directory)) {
    prefix = (fs::path(prefix) / part).string();
    if (::mkdir(prefix.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) return false;
  }
  struct stat status {};
  return ::stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace omrix::platform
