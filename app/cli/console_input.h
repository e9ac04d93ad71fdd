// What omrixctl reads from its standard input, and the events that end a session: a line is
// read byte by byte (nothing is taken beyond it, so a question asked later gets its own
// answer), and every wait for input gives way at once to an ending signal (SIGTERM, SIGINT or
// SIGHUP; on a Windows console Ctrl-C, Ctrl-Break or the console's closing).
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace omrix::cli {

// While it lives, the ending signals only record themselves: the running command finishes and
// the session then ends in order.
class SessionSignals {
 public:
  SessionSignals();
  ~SessionSignals();
  SessionSignals(const SessionSignals&) = delete;
  SessionSignals& operator=(const SessionSignals&) = delete;

 private:
  struct Previous;  // what was there before, given back at the end
  std::unique_ptr<Previous> previous_;
};

// The first ending signal received (its number, as a shell reports it), or 0.
int PendingSignal();

// Sleeps, but no longer than until an ending signal arrives.
void SleepUnlessSignalled(int milliseconds);

// A line of the standard input without its line end; nothing at the end of the input or on a
// signal. Its bytes are left as they came.
std::optional<std::string> ReadInputLine();

// Whether the standard input has something to read (or has ended) now, without waiting.
bool InputWaiting();

// Why a line must not run: "" or the reason. A NUL byte would end a file name early, so the
// command would act on another file.
inline std::string LineProblem(const std::string& line) {
  if (line.find('\0') != std::string::npos)
    return "a line holding a NUL byte was not run (is the input a UTF-16 file?)";
  return "";
}

}  // namespace omrix::cli
