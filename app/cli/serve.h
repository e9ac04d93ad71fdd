// 'omrixctl serve': the board's session hosted without a window, until SIGTERM, SIGINT or
// 'omrixctl serve --stop'.
#pragma once

#include <string>

#include "command_line.h"
#include "commands/library.h"

namespace omrix::cli {

// Hosts the board's session on `socketPath`; returns the exit status.
int Serve(const Invocation& invocation, const std::string& socketPath);
int Serve(const Invocation& invocation, const std::string& socketPath,
          const commands::Library& library);

}  // namespace omrix::cli
