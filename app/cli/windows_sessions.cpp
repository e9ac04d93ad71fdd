// Sessions on Windows: none yet. A session host listens on a Unix-domain socket and knows its
// clients by the socket's peer credentials, which Windows (and wine) do not give; so every
// invocation runs a short session of its own, and serve and status say why there is no host.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "client.h"
#include "console.h"
#include "host.h"
#include "port_backend_listing.h"
#include "session.h"
#include "session/board_socket.h"

namespace omrix::cli {

namespace {

constexpr const char* kNoSessions =
    "session hosts need Linux: on Windows each omrixctl runs a session of its own";

}  // namespace

std::string ReadSessionRequest(const std::vector<std::string>& arguments, SessionRequest& request) {
  request = SessionRequest{};
  std::string word;  // the first word that is no option's
  std::size_t wordAt = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--") {
      request.arguments.insert(request.arguments.end(), arguments.begin() + i, arguments.end());
      break;
    }
    // What a script written for Linux asks for is what happens here anyway.
    if (argument == "--no-session") continue;
    if (argument.rfind("--session", 0) == 0) return std::string("'--session': ") + kNoSessions;
    if (word.empty() && !argument.empty() && argument[0] != '-') {
      word = argument;
      wordAt = request.arguments.size();
    }
    request.arguments.push_back(argument);
    if (argument == "--port-io" && i + 1 < arguments.size())
      request.arguments.push_back(arguments[++i]);
  }
  // Taken as on Linux, so that misuse is told apart from the missing host.
  if (word == "serve" || word == "status") {
    request.arguments.erase(request.arguments.begin() + static_cast<long>(wordAt));
    request.kind = word == "serve" ? SessionRequest::Kind::Serve : SessionRequest::Kind::Status;
    if (word == "serve") request.arguments.push_back("start");
  }
  if (request.kind == SessionRequest::Kind::Status && !request.arguments.empty())
    return "'status' takes no arguments";
  return "";
}

std::optional<int> RunInHost(const std::vector<std::string>&, const Invocation&,
                             const std::string&) {
  return std::nullopt;  // no host listens anywhere
}

int ShowHostStatus(const std::string&) {
  Complain(kNoSessions);
  return kLibraryFailure;
}

int StopHost(const std::string&) {
  Complain(kNoSessions);
  return kLibraryFailure;
}

std::string PortBackendInUse() {
  const char* chosen = std::getenv("OMRIX_PORT_IO");
  return chosen != nullptr && *chosen != '\0' ? chosen : kPortBackendListing[0].name;
}

int Serve(const Invocation& invocation, const std::string& socketPath) {
  return Serve(invocation, socketPath, commands::LinkedLibrary());
}

int Serve(const Invocation&, const std::string&, const commands::Library&) {
  Complain(kNoSessions);
  return kLibraryFailure;
}

}  // namespace omrix::cli

namespace omrix::session {

std::string BoardSocketPath(std::string& problem) {
  problem = omrix::cli::kNoSessions;
  return "";
}

}  // namespace omrix::session
