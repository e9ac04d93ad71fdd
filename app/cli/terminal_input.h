// omrixctl's input on a POSIX system: besides the standard input, any descriptor (a session
// host's clients, a test's pipe) is waited for and read the same way, and typed bytes are
// decoded in the terminal's encoding for the line editor.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "console_input.h"

namespace omrix::cli {

// Blocks until `fd` has something to read (or its end); false when a signal came first.
bool WaitForInput(int fd);

// Blocks until one of `fds` has an event (see their revents); false when a signal came first.
bool WaitForAny(std::vector<pollfd>& fds);

// A line of `fd` without its '\n', read byte by byte; nothing at the end of the input or on a
// signal. Its bytes are left as they came.
std::optional<std::string> ReadInputLine(int fd);

// Typed bytes to the characters of the terminal's encoding (LC_CTYPE), one byte at a time.
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
