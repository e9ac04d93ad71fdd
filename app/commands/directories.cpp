#include "directories.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace omrix::commands {

namespace {

namespace fs = std::filesystem;

constexpr const char* kStateSubdirectory = "omrix/";
constexpr const char* kDefaultStateHome = ".local/state/";
constexpr mode_t kPrivateDirectoryMode = 0700;

std::string WithTrailingSlash(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// A program given raised privileges (setcap) lets no user point it elsewhere, as the library
// does not either.
std::string Variable(const char* name) {
  const char* value = ::secure_getenv(name);
  return value != nullptr ? value : "";
}

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

std::string LibraryFileDirectory() {
  // The symbol's definition, not a stub in this program, names the library file.
  void* symbol = ::dlsym(RTLD_DEFAULT, "HwaccInit_EnableDllMessages");
  Dl_info info{};
  if (symbol == nullptr || ::dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return "";
  std::error_code error;
  const fs::path file = fs::canonical(info.dli_fname, error);
  return error ? "" : file.parent_path().string();
}

bool MakePrivateDirectory(const std::string& directory) {
  std::string prefix;
  for (const fs::path& part : fs::path(directory)) {
    prefix = (fs::path(prefix) / part).string();
    if (::mkdir(prefix.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) return false;
  }
  return true;
}

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

Directories ProgramDirectories() {
  DirectorySources sources;
  sources.libraryVariable = Variable("OMRIX_LIBRARY_DIR");
  sources.stateVariable = Variable("OMRIX_STATE_DIR");
  sources.moduleDirectory = LibraryFileDirectory();
  std::error_code error;
  sources.buildTree =
      !sources.moduleDirectory.empty() &&
      fs::is_regular_file(fs::path(sources.moduleDirectory) / OMRIX_BUILD_TREE_MARKER, error);
  if (::getauxval(AT_SECURE) != 0) {
    sources.home = AccountHome();
  } else {
    sources.stateHome = Variable("XDG_STATE_HOME");
    sources.home = Variable("HOME");
    if (sources.home.empty()) sources.home = AccountHome();
  }
  return ChooseDirectories(sources);
}

std::string StateDirectory() {
  const Directories directories = ProgramDirectories();
  if (directories.makeState && IsAbsolute(directories.state))
    MakePrivateDirectory(directories.state);
  return directories.state;
}

}  // namespace omrix::commands
