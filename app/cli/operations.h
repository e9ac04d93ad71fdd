// The subcommands: the library calls of the GUI's menu commands, in the menu's order.
#pragma once

#include <cstdint>
#include <string>

#include "command_line.h"

namespace omrix::cli {

enum ExitStatus : int {
  kSuccess = 0,
  kLibraryFailure = 1,
  kBadUsage = 2,
  kNoDevice = 3,
  kFactoryPath = 4,
};

// Runs one subcommand of a session whose start-up has been interpreted; stateFile is where the
// last CPU binary is remembered. Returns the exit status.
int RunSubcommand(const Command& command, std::int32_t startResult, const std::string& stateFile);

}  // namespace omrix::cli
