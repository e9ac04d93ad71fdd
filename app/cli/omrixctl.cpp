// omrixctl: the omrix board from a shell, on the program's own menu commands. One invocation
// is one short session of the program: driver up, start-up interpretation, commands, exit.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"
#include "console.h"
#include "help_text.h"
#include "session.h"

using namespace omrix::cli;

int main(int argc, char** argv) {
  // The terminal's encoding, so typed characters reach the command as the bytes typed; the
  // numeric locale stays "C" for the library's and the simulator's number parsers.
  std::setlocale(LC_CTYPE, "");
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParseOutcome parsed = ParseCommandLine(arguments);
  if (!parsed.ok) {
    Complain(parsed.error);
    std::fputs("try 'omrixctl --help'\n", stderr);
    return kBadUsage;
  }
  const Invocation& invocation = parsed.invocation;
  switch (invocation.action) {
    case Invocation::Action::Help:
      std::fputs((invocation.helpTopic.empty() ? ToolHelp() : SubcommandHelp(invocation.helpTopic))
                     .c_str(),
                 stdout);
      return kSuccess;
    case Invocation::Action::Version:
      std::fputs(VersionLine().c_str(), stdout);
      return kSuccess;
    case Invocation::Action::Run:
      break;
  }
  // The library picks its backend when the driver comes up, from the environment as it is then.
  if (invocation.portIoGiven) setenv("OMRIX_PORT_IO", invocation.portIo.c_str(), 1);
  return RunSession(invocation);
}
