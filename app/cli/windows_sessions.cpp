// Sessions on Windows: none yet. A session host listens on a Unix-domain socket and knows its
// clients by the socket's peer credentials, which Windows (and wine) do not give; so every
// invocation runs a short session of its own, and serve and status say why there is no host.
#include <optional>
#include <string>
#include <vector>

#include "client.h"
#include "console.h"
#include "serve.h"
#include "session.h"
#include "session/board_socket.h"

namespace omrix::cli {

namespace {

constexpr const char* kNoSessions =
    "session hosts need Linux: on Windows each omrixctl runs a session of its own";

}  // namespace

// The board's own socket has no path here, so a socket comes only from --session.
std::optional<int> RunInHost(const std::vector<std::string>&, const Invocation&,
                             const std::string&) {
  Complain(std::string("'--session': ") + kNoSessions);
  return kBadUsage;
}

int ShowHostStatus(const std::string&) {
  Complain(kNoSessions);
  return kLibraryFailure;
}

int StopHost(const std::string&) {
  Complain(kNoSessions);
  return kLibraryFailure;
}

int Serve(const Invocation&, const std::string&) {
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
