// Where the library's installed files lie and where the library and the programs keep what
// they write, chosen as the library chooses them: its header does not tell.
#pragma once

#include <string>

namespace omrix::commands {

// What the choice depends on, as the process has it.
struct DirectorySources {
  std::string libraryVariable;  // OMRIX_LIBRARY_DIR
  std::string stateVariable;    // OMRIX_STATE_DIR
  std::string stateHome;        // XDG_STATE_HOME
  std::string home;             // the user's home directory
  std::string moduleDirectory;  // the library file's directory, links resolved
  bool buildTree = false;       // the build marked moduleDirectory as its own
};

// Each ends in '/', or is empty when it cannot be told.
struct Directories {
  std::string data;        // the designs and data files, only read
  std::string state;       // omrix.dat, the logs, omrixctl.state
  bool makeState = false;  // the user's own state directory, made on first use
};

Directories ChooseDirectories(const DirectorySources& sources);

// This process's directories. With raised privileges only the account's home counts.
Directories ProgramDirectories();

// The state directory, made open to its owner only when it is the user's own and missing.
std::string StateDirectory();

}  // namespace omrix::commands
