// omrixctl serve: one session of the board kept for the clients that come and go, as a debug
// server keeps its target, until SIGTERM, SIGINT or 'omrixctl serve --stop'.
#pragma once

#include <string>

#include "command_line.h"
#include "commands/library.h"

namespace omrix::cli {

// The name of the backend the library uses: OMRIX_PORT_IO's, or the default.
std::string PortBackendInUse();

// Hosts the board's session on `socketPath`; returns the exit status.
int Serve(const Invocation& invocation, const std::string& socketPath);
int Serve(const Invocation& invocation, const std::string& socketPath,
          const commands::Library& library);

}  // namespace omrix::cli
