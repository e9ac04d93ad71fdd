// Where the library finds what is installed and keeps what it writes.
#pragma once

#include <string>

#include "directory_rule.h"

namespace omrix::platform {

using omrix::Directories;
using omrix::DirectorySources;

// This process's directories. In a secure execution only the user's home counts.
Directories libraryDirectories();

// The user's home as the system's account records have it, whatever the environment says:
// what a raised program may trust. Empty when unknown.
std::string accountHome();

// Makes `directory` and its missing parents, each new one open to its owner only. False when
// it is no directory afterwards.
bool makePrivateDirectory(const std::string& directory);

}  // namespace omrix::platform
