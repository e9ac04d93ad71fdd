// A session host: one session of the board kept for the clients that come and go, as a debug
// server keeps its target. 'omrixctl serve' hosts until SIGTERM, SIGINT or
// 'omrixctl serve --stop'; the omrix window hosts while it is open. Both serve through a
// HostDoor and run their clients' subcommands with RunClient.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands/library.h"
#include "serve.h"
#include "session.h"
#include "session/transport.h"

namespace omrix::cli {

// The name of the backend the library uses: OMRIX_PORT_IO's, or the default.
std::string PortBackendInUse();

// A client's request to run a subcommand, read and waiting for the board.
struct ClientRun {
  session::Channel client;
  session::Message request;
  const char* hostKind;  // the host it came to, which says how that host ends
};

// Where a host meets its clients. It never waits itself: the host waits until one of
// Watched() is readable, then calls Take. Only the host's own user is served; a client that
// has said nothing yet keeps its place without holding up the others.
class HostDoor {
 public:
  HostDoor(session::Listener listener, const char* hostKind);

  // The listener's descriptor first, then those of the clients not yet heard.
  std::vector<int> Watched() const;
  // Accepts whoever waits and reads what has come, answering status, stop, raise and every
  // refusal here; the run requests complete so far, in arrival order.
  std::vector<ClientRun> Take();

  // 'omrixctl serve --stop' came (a serve host only; a window refuses it).
  bool stopAsked() const { return stopAsked_; }
  // A second window for this board asked the window to come to the front; reported once.
  bool TakeRaise();

 private:
  void AcceptAll();
  // Handles the client's first message if it has come; false when the client is done with.
  bool Hear(session::Channel& client, std::vector<ClientRun>& runs);
  session::Message Hello() const;

  session::Listener listener_;
  const char* hostKind_;
  std::deque<session::Channel> waiting_;
  bool stopAsked_ = false;
  bool raiseAsked_ = false;
};

// Runs the client's subcommand (or script) in `board` on this thread, its texts, questions
// and stop requests on the client's terminal, and sends the client its exit status.
void RunClient(ClientRun& run, HostedSession& board);

// For a host whose driver did not come up: the client is told what a short session that
// cannot reach the port says, with the same exit status.
void FailWithoutDriver(ClientRun& run);

}  // namespace omrix::cli
