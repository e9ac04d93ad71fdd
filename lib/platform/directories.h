// Where the library finds what is installed and keeps what it writes.
#pragma once

#include "directory_rule.h"

namespace omrix::platform {

using omrix::Directories;
using omrix::DirectorySources;

// This process's directories, read through the platform (so tests can set them). In a secure
// execution only the user's home counts.
Directories libraryDirectories();

}  // namespace omrix::platform
