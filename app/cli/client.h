// The client side of a session host: an omrixctl subcommand run in the host's session, with
// its output, questions and exit status on this terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"

namespace omrix::cli {

// What omrixctl does with a session host, read from its arguments.
struct SessionRequest {
  enum class Kind { Command, Serve, StopHost, Status };
  Kind kind = Kind::Command;
  bool noSession = false;  // --no-session: a short session of its own, whatever is there
  std::string socket;      // --session PATH; "" for the board's own
  // The arguments without the session options; for serve, as a 'start' would have them.
  std::vector<std::string> arguments;
};

// Takes --no-session and --session PATH, and the serve and status words, out of the
// arguments; "" or the problem.
std::string ReadSessionRequest(const std::vector<std::string>& arguments, SessionRequest& request);

// Runs the invocation in the host at `socketPath`; nothing when no host listens there.
std::optional<int> RunInHost(const std::vector<std::string>& arguments,
                             const Invocation& invocation, const std::string& socketPath);

// 'omrixctl status': whether a host holds the board, which board and its pid.
int ShowHostStatus(const std::string& socketPath);

// 'omrixctl serve --stop': the host ends as File > Exit ends the program.
int StopHost(const std::string& socketPath);

// The host that holds the board at `socketPath`, as a second window finds it.
struct Holder {
  long long pid = 0;
  std::string host;  // a kind of session::host, or "" when it did not say in time
};
// Asks the holder to show its window, if it is one; nothing when no host listens there.
std::optional<Holder> RaiseHolder(const std::string& socketPath);

}  // namespace omrix::cli
