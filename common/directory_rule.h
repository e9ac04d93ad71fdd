// Where the installed files lie and where the library and the programs keep what they write:
// one rule for both, since the library's header cannot tell the programs.
#pragma once

#include <string>

namespace omrix {

// What the choice depends on, as the process has it.
struct DirectorySources {
  std::string libraryVariable;  // OMRIX_LIBRARY_DIR
  std::string stateVariable;    // OMRIX_STATE_DIR
  std::string stateHome;        // XDG_STATE_HOME
  std::string home;             // the user's home directory
  std::string moduleDirectory;  // the library file's directory, links resolved
  bool buildTree = false;       // the build marked moduleDirectory as its own
};

// Each ends in '/', or is empty when it cannot be told: nothing then falls back to the working
// directory.
struct Directories {
  std::string data;   // what is installed and only read: the designs and data files
  std::string state;  // what the library and the programs write: omrix.dat, logs, states
  // The state directory is the user's own (the default or OMRIX_STATE_DIR): made on first use.
  bool makeState = false;
};

Directories ChooseDirectories(const DirectorySources& sources);

// The marker file a build lays beside the library it built.
inline constexpr const char* kBuildTreeMarker = OMRIX_BUILD_TREE_MARKER;

}  // namespace omrix
