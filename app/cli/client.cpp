#include "client.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "console.h"
#include "line_editor.h"
#include "session.h"
#include "session/transport.h"
#include "terminal_input.h"

namespace omrix::cli {

namespace {

using session::Channel;
using session::Message;
namespace kind = session::kind;

// A serve host that runs a long command answers only when it is done; a second window does
// not wait for that to say who holds the board.
constexpr int kHolderAnswerMs = 2000;

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Connects, or says why not; nothing with `noHost` when nobody listens there.
std::optional<Channel> Reach(const std::string& path, bool& noHost) {
  std::string problem;
  session::UniqueFd fd = session::Connect(path, noHost, problem);
  if (!fd) {
    if (!noHost) Complain(problem);
    return std::nullopt;
  }
  return Channel(std::move(fd));
}

// The client's end of one exchange: the host's texts shown as they come, its requests for a
// line of input answered from this terminal, until it sends the exit status.
class Conversation {
 public:
  explicit Conversation(Channel& host) : host_(host) {}

  // The exit status; `hello` receives the host's hello when one comes.
  int Run(Message* hello = nullptr) {
    for (;;) {
      Message message;
      std::string problem;
      switch (host_.Receive(message, problem)) {
        case Channel::Got::Closed:
          Complain("the session host went away before the command ended");
          return kLibraryFailure;
        case Channel::Got::Bad:
          Complain("the session host sent " + problem);
          return kLibraryFailure;
        case Channel::Got::Nothing:
          if (!Wait()) return kEndedBySignal + PendingSignal();
          continue;
        case Channel::Got::Ready: break;
      }
      const std::string type = session::TypeOf(message);
      const std::string text = StringOf(message, "text");
      if (type == kind::kOut) {
        Write(stdout, text);
      } else if (type == kind::kErr) {
        std::fflush(stdout);
        Write(stderr, text);
      } else if (type == kind::kRead) {
        reading_ = true;
        prompt_ = StringOf(message, "prompt");
      } else if (type == kind::kHello && hello != nullptr) {
        *hello = message;
        return kSuccess;
      } else if (type == kind::kExit) {
        const auto status = message.find("status");
        if (status != message.end() && status->is_number_integer()) return status->get<int>();
        Complain("the session host sent an exit without a status");
        return kLibraryFailure;
      } else if (type == kind::kRefused) {
        Complain("the session host refused: " + text);
        return kLibraryFailure;
      }
    }
  }

 private:
  static std::string StringOf(const Message& message, const char* key) {
    const auto value = message.find(key);
    return value != message.end() && value->is_string() ? value->get<std::string>() : "";
  }

  // Until the host says more or, while it waits for a line, the line is there; false on a
  // signal, which ends the client (the host then stops the command where it can).
  bool Wait() {
    if (reading_ && !prompt_.empty() && isatty(STDIN_FILENO)) {
      if (!editor_) editor_ = std::make_unique<LineEditor>(kShellPrompt);
      std::string problem;
      const std::optional<std::string> line = editor_->ReadLine(problem);
      if (PendingSignal() != 0) return false;
      if (line && problem.empty()) editor_->Remember(*line);
      // A damaged line is sent as typed: the host refuses it as a shell at a terminal would.
      Answer(line);
      return true;
    }
    std::vector<pollfd> watched{{host_.fd(), POLLIN, 0}};
    if (reading_) watched.push_back({STDIN_FILENO, POLLIN, 0});
    if (!WaitForAny(watched)) return false;
    if (reading_ && watched[1].revents != 0) Answer(inputEnded_ ? std::nullopt : ReadInputLine());
    return PendingSignal() == 0;
  }

  void Answer(const std::optional<std::string>& line) {
    reading_ = false;
    if (!line) inputEnded_ = true;
    host_.Send(line ? Message{{"type", kind::kLine}, {"text", *line}}
                    : Message{{"type", kind::kEnd}});
  }

  static constexpr const char* kShellPrompt = "omrix> ";
  Channel& host_;
  bool reading_ = false;
  bool inputEnded_ = false;
  std::string prompt_;
  std::unique_ptr<LineEditor> editor_;
};

Message FirstMessage(const char* type) {
  return {{"type", type}, {"version", session::kProtocolVersion}};
}

}  // namespace

std::optional<int> RunInHost(const std::vector<std::string>& arguments,
                             const Invocation& invocation, const std::string& socketPath) {
  bool noHost = false;
  std::optional<Channel> host = Reach(socketPath, noHost);
  if (!host) return noHost ? std::nullopt : std::optional<int>(kLibraryFailure);
  Message request = FirstMessage(kind::kRun);
  request["args"] = arguments;
  std::error_code unknown;
  request["cwd"] = std::filesystem::current_path(unknown).string();
  // The script is this client's to read: its standard input, its permissions.
  if (invocation.command.subcommand == Subcommand::Script) {
    const std::optional<std::string> text = ReadScript(invocation.command.file);
    if (!text) return kBadUsage;
    request["script"] = *text;
  }
  const SessionSignals signals;
  if (session::Encode(request).size() > session::kMaxMessageBytes) {
    Complain("the script is too long to send to the session host (over " +
             std::to_string(session::kMaxMessageBytes) + " bytes) --> use '--no-session'");
    return kBadUsage;
  }
  host->Send(request);
  return Conversation(*host).Run();
}

int ShowHostStatus(const std::string& socketPath) {
  bool noHost = false;
  std::optional<Channel> host = Reach(socketPath, noHost);
  if (!host) {
    if (noHost) Write(stdout, "no session host at '" + socketPath + "'\n");
    return kLibraryFailure;  // as with no host, a script tests the status
  }
  host->Send(FirstMessage(kind::kStatus));
  Message hello;
  const SessionSignals signals;
  const int status = Conversation(*host).Run(&hello);
  if (status != kSuccess || hello.is_null()) return status == kSuccess ? kLibraryFailure : status;
  const auto text = [&hello](const char* key) {
    const auto value = hello.find(key);
    return value != hello.end() && value->is_primitive() ? value->dump() : std::string("?");
  };
  const auto holder = hello.find("host");
  const bool window = holder != hello.end() && *holder == session::host::kWindow;
  // Names as the system gave them, not the board's 8-bit texts.
  Write(stdout, "session host pid " + text("pid") +
                    (window ? " (the omrix window)" : " (omrixctl serve)") +
                    " holds the board in " + text("board") + " (port backend " + text("backend") +
                    ") at '" + socketPath + "'\n");
  return kSuccess;
}

int StopHost(const std::string& socketPath) {
  bool noHost = false;
  std::optional<Channel> host = Reach(socketPath, noHost);
  if (!host) {
    if (noHost) Complain("no session host at '" + socketPath + "'");
    return kLibraryFailure;
  }
  host->Send(FirstMessage(kind::kStop));
  const SessionSignals signals;
  return Conversation(*host).Run();
}

std::optional<Holder> RaiseHolder(const std::string& socketPath) {
  bool noHost = false;
  std::string problem;
  session::UniqueFd fd = session::Connect(socketPath, noHost, problem);
  if (!fd) return std::nullopt;
  Holder holder;
  if (const std::optional<session::Peer> peer = session::PeerOf(fd.get())) holder.pid = peer->pid;
  Channel host(std::move(fd));
  host.Send(FirstMessage(kind::kRaise));
  for (;;) {
    Message message;
    const Channel::Got got = host.Receive(message, problem);
    if (got == Channel::Got::Ready && session::TypeOf(message) == kind::kHello) {
      const auto named = message.find("host");
      if (named != message.end() && named->is_string()) holder.host = named->get<std::string>();
      return holder;
    }
    pollfd answer{host.fd(), POLLIN, 0};
    if (got != Channel::Got::Nothing || poll(&answer, 1, kHolderAnswerMs) <= 0) return holder;
  }
}

}  // namespace omrix::cli
