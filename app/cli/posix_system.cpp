#include <stdlib.h>
#include <unistd.h>

#include "system.h"

namespace omrix::cli {

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool ErrorsGoToTerminal() { return isatty(STDERR_FILENO) != 0; }

const char* EndOfInputKeys() { return "Ctrl-D"; }

const char* EndingSignalNames() { return "SIGHUP 1, SIGINT 2, SIGTERM 15"; }

const char* PortAccessHint() {
  return "port access needs group lp (--port-io ppdev), CAP_SYS_RAWIO (--port-io direct), "
         "or the simulated board (--port-io sim)";
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

// The streams carry bytes as they are, and a terminal takes UTF-8 by its locale.
struct StandardStreams::Saved {};

StandardStreams::StandardStreams() = default;

StandardStreams::~StandardStreams() = default;

}  // namespace omrix::cli
