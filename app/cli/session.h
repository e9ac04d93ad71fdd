// One omrixctl session: the driver brought up, the start-up (unless the session begins with a
// setup), its subcommands on the program's menu commands, the end.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands/library.h"
#include "commands/menu_commands.h"

namespace omrix::cli {

enum ExitStatus : int {
  kSuccess = 0,
  kLibraryFailure = 1,
  kBadUsage = 2,
  kNoDevice = 3,
  kFactoryPath = 4,
  kNotAsRecorded = 5,    // the start-up did not configure the board as omrix.dat records it
  kEndedBySignal = 128,  // plus the signal's number, as a shell reports it
};

// Runs the invocation's subcommand, or a script's, on the linked library (or on `library`);
// returns the exit status.
int RunSession(const Invocation& invocation);
int RunSession(const Invocation& invocation, const commands::Library& library);

// The script's text ("-": standard input), or nothing after a line saying why it cannot be
// had, naming the file.
std::optional<std::string> ReadScript(const std::string& source);
// The script's subcommands, all checked before any runs; "" or the first problem.
std::string ParseScript(const std::string& text, std::vector<Command>& commands);

// A session host's one session: the driver and the start-up once, then its clients'
// subcommands on this thread, each in the console of the client it runs for.
class HostedSession {
 public:
  explicit HostedSession(const commands::Library& library);
  // The window's session, brought up by the window: its menu commands and its start-up's
  // result. While Run runs, the window also gives its commands' output to output() and has
  // prompts() answer in place of its person; `toWindow` shows there the answers that the
  // subcommands print themselves.
  HostedSession(commands::MenuCommands& windowMenu, const commands::CommandResult& startUp,
                std::function<void(const std::string&)> toWindow);
  ~HostedSession();  // serve's ends as File > Exit does; the window ends its own
  HostedSession(const HostedSession&) = delete;
  HostedSession& operator=(const HostedSession&) = delete;

  // The start-up, with its usual output: kSuccess, or the status that ends the host.
  int Begin();
  // The subcommands one client asked for; its exit status.
  int Run(const std::vector<Command>& commands, bool quiet);

  // What the client's subcommands say and ask, for the window to route to them.
  commands::Output& output();
  commands::Prompts& prompts();
  // A diagnostic the client is told, shown in the window too; nothing without a window.
  void Witness(const std::string& peopleLine);
  // A command the window ran for its person: a setup or a configuration that succeeded put
  // the board in order.
  void WindowRan(commands::CommandId id, const commands::CommandResult& result);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace omrix::cli
