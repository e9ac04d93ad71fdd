// What a session host and its clients say to each other: one JSON object per line. The
// client's first message carries the protocol version; every message is capped in size, so a
// peer that never ends its line cannot make the other side hold more and more.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace omrix::session {

using Message = nlohmann::json;

inline constexpr int kProtocolVersion = 1;
// A message's largest encoded size, its newline included.
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;
// Text is sent in pieces of at most this many bytes, well inside the cap once escaped.
inline constexpr std::size_t kTextPieceBytes = 8 * 1024;

// The message kinds, by the name each carries in "type".
namespace kind {
inline constexpr const char* kRun = "run";          // client: the command line, first message
inline constexpr const char* kStatus = "status";    // client: who holds the board, first message
inline constexpr const char* kStop = "stop";        // client: end the host, first message
inline constexpr const char* kRaise = "raise";      // client: show the host's window, first message
inline constexpr const char* kLine = "line";        // client: one line of its input
inline constexpr const char* kEnd = "end";          // client: its input has ended
inline constexpr const char* kHello = "hello";      // host: its pid, board, backend and kind
inline constexpr const char* kOut = "out";          // host: output-window text
inline constexpr const char* kErr = "err";          // host: one diagnostic line
inline constexpr const char* kRead = "read";        // host: wants one line of the client's input
inline constexpr const char* kExit = "exit";        // host: the command's exit status
inline constexpr const char* kRefused = "refused";  // host: why it will not serve this client
}  // namespace kind

// What holds the board, as a hello's "host" names it.
namespace host {
inline constexpr const char* kServe = "serve";    // omrixctl serve
inline constexpr const char* kWindow = "window";  // the omrix window
}  // namespace host

// One line holding the message; text that is not UTF-8 is replaced, never thrown on.
std::string Encode(const Message& message);

// The message's "type", or "" when it has none.
std::string TypeOf(const Message& message);

// Why a client's first message cannot be served: "" when its version is ours.
std::string VersionProblem(const Message& first);

// Splits a byte stream into messages.
class MessageReader {
 public:
  enum class Status { Ready, More, Malformed, Oversized };

  void Feed(const char* data, std::size_t size);
  // The next whole message, More when none is complete yet. After Malformed or Oversized the
  // stream cannot be trusted any more: `problem` says why.
  Status Next(Message& message, std::string& problem);

 private:
  std::string buffer_;
};

}  // namespace omrix::session
