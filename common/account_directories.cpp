#include "account_directories.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace omrix {

namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;

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

bool MakePrivateDirectory(const std::string& directory) {
  if (!std::filesystem::path(directory).is_absolute()) return false;
  std::string prefix;
  for (const std::filesystem::path& part : std::filesystem::path(directory)) {
    prefix = (std::filesystem::path(prefix) / part).string();
    if (::mkdir(prefix.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) return false;
  }
  struct stat status {};
  return ::stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace omrix
