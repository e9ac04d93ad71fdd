// Where the library finds what is installed and keeps what it writes.
#pragma once

#include <string>

namespace omrix::platform {

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
  std::string data;   // what is installed and only read
  std::string state;  // what the library and the programs write
  // The state directory is the user's own (the default or OMRIX_STATE_DIR): made on first use.
  bool makeState = false;
};

Directories chooseDirectories(const DirectorySources& sources);

// This process's directories. In a secure execution only the user's home counts.
Directories libraryDirectories();

// The user's home as the system's account records have it, whatever the environment says:
// what a raised program may trust. Empty when unknown.
std::string accountHome();

// Makes `directory` and its missing parents, each new one open to its owner only. False when
// it is no directory afterwards.
bool makePrivateDirectory(const std::string& directory);

}  // namespace omrix::platform
