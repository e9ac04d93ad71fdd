#include "board_socket.h"

#include <cstdlib>

#include "commands/directories.h"
#include "transport.h"

namespace omrix::session {

std::string BoardDirectory() { return commands::ProgramDirectories().state; }

std::string BoardSocketPath(std::string& problem) {
  const char* named = std::getenv("OMRIX_SESSION");
  if (named != nullptr && *named != '\0') return named;
  return SocketPathFor(BoardDirectory(), problem);
}

}  // namespace omrix::session
