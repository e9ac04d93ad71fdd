// Where omrixctl's texts go: what the GUI would show in its output window goes to stdout, the
// tool's own diagnostics to stderr, so a script can keep the board's transcript apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace omrix::cli {

// 8-bit Windows-1252 text (the library's and the GUI's), shown on stdout as UTF-8 at once,
// so it interleaves correctly with the library's progress dots and with stderr.
void Show(const std::string& text);

// One diagnostic line on stderr, prefixed with "omrixctl: ".
void Complain(const std::string& text);

// The terminal of a client whose command a session host runs: the command's texts, questions
// and stop requests go there instead of to the host's own terminal.
class RemoteTerminal {
 public:
  virtual ~RemoteTerminal() = default;
  virtual void Show(const std::string& peopleText) = 0;
  virtual void Complain(const std::string& peopleLine) = 0;  // the whole line, '\n' included
  // The client's next input line, after `prompt` if there is one; nothing at its end.
  virtual std::optional<std::string> ReadLine(const std::string& prompt) = 0;
  // A line, the end of the input, or the client's going ask the running command to stop.
  virtual bool StopAsked() = 0;
  virtual bool Gone() = 0;
};

// While it lives, this thread's console is `remote`.
class RemoteScope {
 public:
  explicit RemoteScope(RemoteTerminal& remote);
  ~RemoteScope();
  RemoteScope(const RemoteScope&) = delete;
  RemoteScope& operator=(const RemoteScope&) = delete;

 private:
  RemoteTerminal* previous_;
};

// The remote terminal this thread's commands run for, if any.
RemoteTerminal* CurrentRemote();

// The person's next line (an answer to a question, a line for the shell).
std::optional<std::string> ReadAnswer(const std::string& prompt = "");

// Whether the person asked the waiting loop to stop (Enter, or the input's end).
bool StopAsked();

}  // namespace omrix::cli
