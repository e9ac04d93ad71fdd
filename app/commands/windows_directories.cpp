#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "directories.h"

namespace omrix::commands {

namespace {

namespace fs = std::filesystem;

// The library as the build names it on Windows.
constexpr const char* kLibraryFile = "omrix_dll.dll";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string LibraryFileDirectory() {
  const HMODULE library = GetModuleHandleA(kLibraryFile);
  char path[MAX_PATH];
  const DWORD length = library != nullptr ? GetModuleFileNameA(library, path, MAX_PATH) : 0;
  if (length == 0 || length >= MAX_PATH) return "";
  // As the library names its own directory, so both choose alike.
  return fs::path(std::string(path, length)).parent_path().string();
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
  sources.stateHome = Variable("XDG_STATE_HOME");
  sources.home = Variable("HOME");
  // The profile the account was given, as the library takes it.
  if (sources.home.empty()) sources.home = Variable("USERPROFILE");
  return ChooseDirectories(sources);
}

std::string StateDirectory() {
  const Directories directories = ProgramDirectories();
  // Under the user's profile a new directory inherits its owner-only access.
  std::error_code error;
  if (directories.makeState) fs::create_directories(directories.state, error);
  return directories.state;
}

}  // namespace omrix::commands
