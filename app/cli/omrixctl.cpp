// omrixctl: the omrix board from a shell, on the program's own menu commands. An invocation
// runs in the board's session host when one is there ('omrixctl serve');
// otherwise it is one short session of the program: driver up, start-up, commands, exit.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "client.h"
#include "command_line.h"
#include "console.h"
#include "help_text.h"
#include "serve.h"
#include "session.h"
#include "session/board_socket.h"
#include "system.h"

using namespace omrix::cli;

int main(int argc, char** argv) {
  // The terminal's encoding, so typed characters reach the command as the bytes typed; the
  // numeric locale stays "C" for the library's and the simulator's number parsers.
  std::setlocale(LC_CTYPE, "");
  const StandardStreams streams;
  SessionRequest request;
  const std::string misuse =
      ReadSessionRequest(std::vector<std::string>(argv + 1, argv + argc), request);
  // 'status' has no subcommand of its own to parse.
  const bool statusAsked = request.kind == SessionRequest::Kind::Status;
  const ParseOutcome parsed = !misuse.empty() ? ParseOutcome{false, {}, misuse}
                              : statusAsked   ? ParseOutcome{true, {}, ""}
                                              : ParseCommandLine(request.arguments);
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
    case Invocation::Action::Version: std::fputs(VersionLine().c_str(), stdout); return kSuccess;
    case Invocation::Action::Run: break;
  }
  std::string problem;
  const std::string socket =
      request.socket.empty() ? omrix::session::BoardSocketPath(problem) : request.socket;
  if (request.kind != SessionRequest::Kind::Command && socket.empty()) {
    Complain(problem);
    return kLibraryFailure;
  }
  if (statusAsked) return ShowHostStatus(socket);
  if (request.kind == SessionRequest::Kind::StopHost ||
      (request.kind == SessionRequest::Kind::Serve && invocation.stop))
    return StopHost(socket);
  // Without a session directory there can be no host: the short session is all there is.
  if (request.kind == SessionRequest::Kind::Command && !request.noSession && !socket.empty()) {
    if (const std::optional<int> status = RunInHost(request.arguments, invocation, socket))
      return *status;
  }
  // The library picks its backend when the driver comes up, from the environment as it is then.
  if (invocation.portIoGiven) SetEnvironment("OMRIX_PORT_IO", invocation.portIo);
  if (request.kind == SessionRequest::Kind::Serve) return Serve(invocation, socket);
  return RunSession(invocation);
}
