// What omrixctl needs of the operating system besides its input: which of its streams are a
// person's terminal, its environment, and its standard streams made ready for its texts.
#pragma once

#include <memory>
#include <string>

namespace omrix::cli {

bool InputIsTerminal();
bool ErrorsGoToTerminal();

// What a person types to end a terminal's input.
const char* EndOfInputKeys();

// The events that end a session here, with their numbers N in the exit status 128+N.
const char* EndingSignalNames();

// What gives a program port access here, by backend, for when the driver did not come up.
const char* PortAccessHint();

// Sets an environment variable for this process and the library it runs.
void SetEnvironment(const std::string& name, const std::string& value);

// While it lives, the standard streams carry omrixctl's bytes as they are and a terminal shows
// its UTF-8 texts; at its end the terminal is given back as it was found.
class StandardStreams {
 public:
  StandardStreams();
  ~StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace omrix::cli
