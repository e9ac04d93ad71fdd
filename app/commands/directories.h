// Where the library's installed files lie and where the library and the programs keep what
// they write, chosen as the library chooses them: its header does not tell.
#pragma once

#include <string>

#include "directory_rule.h"

namespace omrix::commands {

using omrix::ChooseDirectories;
using omrix::Directories;
using omrix::DirectorySources;

// This process's directories. With raised privileges only the account's home counts.
Directories ProgramDirectories();

// The state directory, made open to its owner only when it is the user's own and missing.
std::string StateDirectory();

}  // namespace omrix::commands
