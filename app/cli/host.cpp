#include "host.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "console.h"
#include "port_backend_listing.h"
#include "session.h"
#include "session/board_socket.h"
#include "session/transport.h"
#include "system.h"
#include "terminal_input.h"

namespace omrix::cli {

namespace {

using session::Channel;
using session::Message;
namespace kind = session::kind;

// Clients that connected and have not yet said what they want. A silent one waits here
// without holding up the others; past this many, a newcomer is turned away.
constexpr std::size_t kMaxWaitingClients = 32;

// The command runs for this client: its texts go there, its questions are asked there.
class ClientTerminal final : public RemoteTerminal {
 public:
  // Without a board, the client's diagnostics are the client's only.
  ClientTerminal(Channel& channel, HostedSession* board) : channel_(channel), board_(board) {}

  void Show(const std::string& peopleText) override { SendText(kind::kOut, peopleText); }
  void Complain(const std::string& peopleLine) override {
    SendText(kind::kErr, peopleLine);
    if (board_ != nullptr) board_->Witness(peopleLine);  // the window shows it too
  }

  std::optional<std::string> ReadLine(const std::string& prompt) override {
    Ask(prompt);
    for (;;) {
      if (const std::optional<Answer> answer = Take()) return answer->line;
      if (!WaitForInput(channel_.fd())) return std::nullopt;
    }
  }

  bool StopAsked() override {
    Ask("");
    return Take().has_value();
  }

  bool Gone() override { return channel_.gone(); }

 private:
  struct Answer {
    std::optional<std::string> line;  // nothing: the input ended, or the client went
  };

  void SendText(const char* type, const std::string& text) {
    for (std::size_t at = 0; at < text.size(); at += session::kTextPieceBytes)
      channel_.Send({{"type", type}, {"text", text.substr(at, session::kTextPieceBytes)}});
  }

  // One line asked for at a time: a stop request left open is what a question then reads,
  // as a line typed at a terminal would be.
  void Ask(const std::string& prompt) {
    if (asked_ || ended_) return;
    asked_ = channel_.Send({{"type", kind::kRead}, {"prompt", prompt}});
  }

  // What the client has answered so far, without waiting.
  std::optional<Answer> Take() {
    if (ended_) return Answer{};
    Message message;
    std::string problem;
    switch (channel_.Receive(message, problem)) {
      case Channel::Got::Nothing: return std::nullopt;
      case Channel::Got::Ready: break;
      case Channel::Got::Closed:
      case Channel::Got::Bad: ended_ = true; return Answer{};
    }
    const std::string type = session::TypeOf(message);
    const auto text = message.find("text");
    if (type == kind::kLine && text != message.end() && text->is_string()) {
      asked_ = false;
      return Answer{text->get<std::string>()};
    }
    ended_ = true;  // the input's end, or something no client sends now: nothing more to read
    return Answer{};
  }

  Channel& channel_;
  HostedSession* board_;
  bool asked_ = false;
  bool ended_ = false;
};

// Goes back to the host's own working directory when the client's command is done.
class WorkingDirectory {
 public:
  WorkingDirectory() : home_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~WorkingDirectory() {
    if (home_) static_cast<void>(fchdir(home_.get()));
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  bool kept() const { return static_cast<bool>(home_); }

 private:
  session::UniqueFd home_;
};

// How a host of `hostKind` is ended, for the people who ask it to end otherwise.
std::string HowItEnds(const char* hostKind) {
  return std::string(hostKind) == session::host::kWindow ? "File > Exit in the window ends it"
                                                         : "'omrixctl serve --stop' ends it";
}

void Refuse(Channel& client, const std::string& why) {
  client.Send({{"type", kind::kRefused}, {"text", why}});
}

int Execute(const std::vector<std::string>& arguments, const ClientRun& run, HostedSession& board) {
  const ParseOutcome parsed = ParseCommandLine(arguments);
  if (!parsed.ok || parsed.invocation.action != Invocation::Action::Run) {
    Complain(parsed.ok ? "the session host runs subcommands only" : parsed.error);
    return kBadUsage;
  }
  const Invocation& invocation = parsed.invocation;
  if (invocation.stop) {
    Complain("'--stop' does not end a session host --> " + HowItEnds(run.hostKind));
    return kBadUsage;
  }
  if (invocation.portIoGiven && invocation.portIo != PortBackendInUse()) {
    Complain("the session host uses the port backend '" + PortBackendInUse() + "', not '" +
             invocation.portIo + "'");
    return kBadUsage;
  }
  std::vector<Command> commands{invocation.command};
  if (invocation.command.subcommand == Subcommand::Script) {
    const auto script = run.request.find("script");
    if (script == run.request.end() || !script->is_string()) {
      Complain("the client sent no script");
      return kBadUsage;
    }
    commands.clear();
    const std::string error = ParseScript(script->get<std::string>(), commands);
    if (!error.empty()) {
      Complain(error);
      return kBadUsage;
    }
    if (commands.empty()) return kSuccess;
  }
  // The client's relative names mean its own directory. A client on another machine (a
  // forwarded socket) has none here: its names are then this machine's, from the host's.
  const WorkingDirectory home;
  if (home.kept())
    static_cast<void>(chdir(run.request.at("cwd").get_ref<const std::string&>().c_str()));
  return board.Run(commands, invocation.quiet);
}

}  // namespace

HostDoor::HostDoor(session::Listener listener, const char* hostKind)
    : listener_(std::move(listener)), hostKind_(hostKind) {}

std::vector<int> HostDoor::Watched() const {
  std::vector<int> fds{listener_.fd()};
  for (const Channel& client : waiting_) fds.push_back(client.fd());
  return fds;
}

std::vector<ClientRun> HostDoor::Take() {
  AcceptAll();
  std::vector<ClientRun> runs;
  // In the order they came: a client that has said nothing yet keeps its place.
  for (auto client = waiting_.begin(); client != waiting_.end() && !stopAsked_;) {
    if (Hear(*client, runs)) {
      ++client;
    } else {
      client = waiting_.erase(client);
    }
  }
  return runs;
}

bool HostDoor::TakeRaise() { return std::exchange(raiseAsked_, false); }

void HostDoor::AcceptAll() {
  while (session::UniqueFd fd = listener_.Accept()) {
    Channel client(std::move(fd));
    const std::optional<session::Peer> peer = session::PeerOf(client.fd());
    if (!peer || peer->uid != geteuid()) {
      Refuse(client, "this session host serves only the user who started it");
    } else if (waiting_.size() >= kMaxWaitingClients) {
      Refuse(client, "the session host has too many clients waiting; try again");
    } else {
      waiting_.push_back(std::move(client));
    }
  }
}

bool HostDoor::Hear(Channel& client, std::vector<ClientRun>& runs) {
  Message first;
  std::string problem;
  switch (client.Receive(first, problem)) {
    case Channel::Got::Nothing: return true;
    case Channel::Got::Closed: return false;
    case Channel::Got::Bad: Refuse(client, problem); return false;
    case Channel::Got::Ready: break;
  }
  problem = session::VersionProblem(first);
  const std::string type = session::TypeOf(first);
  const bool window = std::string(hostKind_) == session::host::kWindow;
  if (!problem.empty()) {
    Refuse(client, problem);
  } else if (type == kind::kStatus) {
    client.Send(Hello());
  } else if (type == kind::kRaise) {
    raiseAsked_ = window;
    client.Send(Hello());
  } else if (type == kind::kStop && window) {
    // A person's window is not closed from afar: its person may be in the middle of work.
    Refuse(client, "the omrix window (pid " + std::to_string(getpid()) +
                       ") holds this board and ends only with its File > Exit");
  } else if (type == kind::kStop) {
    stopAsked_ = true;
    client.Send({{"type", kind::kExit}, {"status", kSuccess}});
  } else if (type == kind::kRun) {
    const auto args = first.find("args");
    const auto cwd = first.find("cwd");
    bool wellFormed =
        args != first.end() && args->is_array() && cwd != first.end() && cwd->is_string();
    for (const Message& argument : wellFormed ? *args : Message::array())
      wellFormed = wellFormed && argument.is_string();
    if (!wellFormed) {
      Refuse(client, "a run message without its arguments and working directory");
    } else {
      runs.push_back({std::move(client), std::move(first), hostKind_});
    }
  } else {
    Refuse(client, "a first message of type '" + type + "'");
  }
  return false;
}

Message HostDoor::Hello() const {
  return {{"type", kind::kHello},
          {"pid", getpid()},
          {"board", session::BoardDirectory()},
          {"backend", PortBackendInUse()},
          {"host", hostKind_}};
}

void RunClient(ClientRun& run, HostedSession& board) {
  std::vector<std::string> arguments;
  for (const Message& argument : run.request.at("args"))
    arguments.push_back(argument.get<std::string>());
  ClientTerminal terminal(run.client, &board);
  int status = kSuccess;
  {
    const RemoteScope scope(terminal);
    status = Execute(arguments, run, board);
  }
  run.client.Send({{"type", kind::kExit}, {"status", status}});
}

void FailWithoutDriver(ClientRun& run) {
  ClientTerminal terminal(run.client, nullptr);
  {
    const RemoteScope scope(terminal);
    Complain(PortAccessHint());
  }
  run.client.Send({{"type", kind::kExit}, {"status", kLibraryFailure}});
}

std::string PortBackendInUse() {
  const char* chosen = std::getenv("OMRIX_PORT_IO");
  return chosen != nullptr && *chosen != '\0' ? chosen : kPortBackendListing[0].name;
}

int Serve(const Invocation& invocation, const std::string& socketPath) {
  return Serve(invocation, socketPath, commands::LinkedLibrary());
}

int Serve(const Invocation&, const std::string& socketPath, const commands::Library& library) {
  std::string problem;
  std::optional<session::Listener> listener = session::Listener::Open(socketPath, problem);
  if (!listener) {
    Complain(problem);
    return kLibraryFailure;
  }
  const SessionSignals signals;
  int status = kSuccess;
  {
    HostedSession board(library);
    status = board.Begin();
    if (status == kSuccess) {
      Complain("serving this board's session on '" + socketPath + "' (pid " +
               std::to_string(getpid()) + "); 'omrixctl serve --stop' ends it");
      HostDoor door(std::move(*listener), session::host::kServe);
      while (!door.stopAsked() && PendingSignal() == 0) {
        const std::vector<int> fds = door.Watched();
        std::vector<pollfd> watched;
        for (const int fd : fds) watched.push_back({fd, POLLIN, 0});
        if (!WaitForAny(watched)) break;
        for (ClientRun& run : door.Take()) RunClient(run, board);
      }
    }
  }               // ended as File > Exit ends the program
  return status;  // SIGTERM and SIGINT are how a host is meant to end
}

}  // namespace omrix::cli
