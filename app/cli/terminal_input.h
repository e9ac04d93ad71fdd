// What omrixctl reads from its input, and the signals that end a session: a
// line is read byte by byte (nothing is taken beyond it, so a question asked
// later gets its own answer), and every wait for input gives way at once to
// SIGTERM, SIGINT or SIGHUP.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace omrix::cli {

// While it lives, SIGTERM, SIGINT and SIGHUP only record themselves: the
// running command finishes and the session then ends in order.
class SessionSignals {
 public:
  SessionSignals();
  ~SessionSignals();
  SessionSignals(const SessionSignals&) = delete;
  SessionSignals& operator=(const SessionSignals&) = delete;

 private:
  static constexpr int kCount = 3;
  struct sigaction previous_[kCount] {};
};

// The first of those signals received, or 0.
int PendingSignal();

// Blocks until `fd` has something to read (or its end); false when a signal
// came first.
bool WaitForInput(int fd);

// Blocks until one of `fds` has an event (see their revents); false when a signal came first.
bool WaitForAny(std::vector<pollfd>& fds);

// Sleeps, but no longer than until a signal arrives.
void SleepUnlessSignalled(int milliseconds);

// A line without its '\n', read byte by byte; nothing at the end of the input
// or on a signal. Its bytes are left as they came.
std::optional<std::string> ReadInputLine(int fd = STDIN_FILENO);

// Why a line must not run: "" or the reason. A NUL byte would end a file name
// early, so the command would act on another file.
std::string LineProblem(const std::string& line);

// Typed bytes to the characters of the terminal's encoding (LC_CTYPE), one byte
// at a time.
class TypedDecoder {
 public:
  enum class Step { Character, More, Invalid };
  Step Feed(char byte, wchar_t& character);

 private:
  std::mbstate_t state_{};
};

// The characters as bytes of the terminal's encoding; false when one has none.
bool EncodeTyped(const wchar_t* characters, std::size_t count, std::string& bytes);

}  // namespace omrix::cli
