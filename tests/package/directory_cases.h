// Where the installed files are read and the written ones kept, for each way the library is
// found: one table for the library and for the programs, which must agree.
#pragma once

#include <string>

namespace omrix::testing {

inline const std::string kInstalledLibrary = "/usr/" OMRIX_INSTALL_LIBDIR;

struct DirectoryCase {
  const char* what;
  // OMRIX_LIBRARY_DIR, OMRIX_STATE_DIR, XDG_STATE_HOME, the home, the library's directory
  const char* libraryVariable;
  const char* stateVariable;
  const char* stateHome;
  const char* home;
  std::string moduleDirectory;
  bool buildTree;
  // what is chosen
  const char* data;
  const char* state;
  bool makeState;
};

inline const DirectoryCase kDirectoryCases[] = {
    {"an install: data beside it under share, state in the user's home", "", "", "", "/home/ann",
     kInstalledLibrary, false, "/usr/share/omrix/", "/home/ann/.local/state/omrix/", true},
    {"root too keeps its state in its home, never in the package's directory", "", "", "", "/root",
     kInstalledLibrary, false, "/usr/share/omrix/", "/root/.local/state/omrix/", true},
    {"XDG_STATE_HOME moves the state", "", "", "/var/tmp/ann-state", "/home/ann", kInstalledLibrary,
     false, "/usr/share/omrix/", "/var/tmp/ann-state/omrix/", true},
    {"a relative XDG_STATE_HOME is none", "", "", "state", "/home/ann", kInstalledLibrary, false,
     "/usr/share/omrix/", "/home/ann/.local/state/omrix/", true},
    {"OMRIX_STATE_DIR names the state directory", "", "/tmp/board-a", "/var/tmp/x", "/home/ann",
     kInstalledLibrary, false, "/usr/share/omrix/", "/tmp/board-a/", true},
    {"a build tree keeps both beside the library", "", "", "/var/tmp/x", "/home/ann",
     "/src/build/out", true, "/src/build/out/", "/src/build/out/", false},
    {"OMRIX_LIBRARY_DIR keeps both in the named directory", "/tmp/lib", "", "", "/home/ann",
     kInstalledLibrary, false, "/tmp/lib/", "/tmp/lib/", false},
    {"OMRIX_STATE_DIR beside OMRIX_LIBRARY_DIR", "/tmp/lib/", "/tmp/state/", "", "/home/ann",
     kInstalledLibrary, false, "/tmp/lib/", "/tmp/state/", true},
    {"no home: no state directory, never the working directory", "", "", "", "", kInstalledLibrary,
     false, "/usr/share/omrix/", "", false},
};

}  // namespace omrix::testing
