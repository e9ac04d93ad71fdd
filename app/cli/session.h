// One omrixctl session: the driver brought up, the start-up (unless the session begins with a
// setup), its subcommands on the program's menu commands, the end.
#pragma once

#include "command_line.h"
#include "commands/library.h"

namespace omrix::cli {

enum ExitStatus : int {
  kSuccess = 0,
  kLibraryFailure = 1,
  kBadUsage = 2,
  kNoDevice = 3,
  kFactoryPath = 4,
  kNotAsRecorded = 5,  // the start-up did not configure the board as omrix.dat records it
  kEndedBySignal = 128,  // plus the signal's number, as a shell reports it
};

// Runs the invocation's subcommand, or a script's, on the linked library (or on `library`);
// returns the exit status.
int RunSession(const Invocation& invocation);
int RunSession(const Invocation& invocation, const commands::Library& library);

}  // namespace omrix::cli
