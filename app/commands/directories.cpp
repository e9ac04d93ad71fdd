#include "directories.h"

#include "account_directories.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <cstdlib>
#include <filesystem>

namespace omrix::commands {

namespace {

namespace fs = std::filesystem;

// A program given raised privileges (setcap) lets no user point it elsewhere, as the library
// does not either.
std::string Variable(const char* name) {
  const char* value = ::secure_getenv(name);
  return value != nullptr ? value : "";
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

}  // namespace

Directories ProgramDirectories() {
  DirectorySources sources;
  sources.libraryVariable = Variable("OMRIX_LIBRARY_DIR");
  sources.stateVariable = Variable("OMRIX_STATE_DIR");
  sources.moduleDirectory = LibraryFileDirectory();
  std::error_code error;
  sources.buildTree =
      !sources.moduleDirectory.empty() &&
      fs::is_regular_file(fs::path(sources.moduleDirectory) / kBuildTreeMarker, error);
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
  if (directories.makeState) MakePrivateDirectory(directories.state);
  return directories.state;
}

}  // namespace omrix::commands
