// omrixctl kept running while a test talks to it: on pipes, or on a
// pseudo-terminal as a technician's shell has it, so a test can answer, wait
// for a line and send a signal (on Windows: on pipes, and the signal is the
// console's Ctrl-C).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tool_runner.h"

namespace omrix::cli::testing {

// The signal a person's interrupt sends: SIGINT, also for a Windows console's Ctrl-C.
int InterruptSignal();
// The signals that end a session and that a test can send to the tool alone.
std::vector<int> EndingSignals();
// Whether a tool can be run on a pseudo-terminal here.
bool PseudoTerminals();

class RunningTool {
 public:
  enum class Input { Pipes, Terminal };
  enum class Stream { Out, Err };  // on a terminal both are the terminal, read as Out

  RunningTool(const LibraryDirectory& directory, const std::vector<std::string>& arguments,
              Input input,
              const std::vector<std::pair<std::string, std::string>>& environment = {});
  ~RunningTool();  // a tool still running is killed
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  void type(const std::string& text);
  // Reads what the tool writes until `text` has appeared; false when the tool
  // ended (or went silent for far longer than any step takes) first.
  bool waitFor(const std::string& text, Stream stream = Stream::Out);
  // Reads nothing until the tool waits for the test to read its standard output; false when
  // it ended (or ran on for far longer than any step takes) first. Pipes only.
  bool waitUntilOutputWaits();
  void signal(int number);
  // Closes the input (on a terminal: hangs it up), reads to the end and waits
  // for the exit.
  ToolRun finish();

 private:
  bool readSome();  // false when nothing more will come
  void collect(int& fd, std::string& text);

  std::intptr_t child_ = -1;  // its pid; on Windows its process handle
  int input_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool terminal_ = false;
  std::string outText_;
  std::string errText_;
};

}  // namespace omrix::cli::testing
