// Which socket a board's session host listens on.
#pragma once

#include <string>

namespace omrix::session {

// The directory that stands for the board, its state directory: one host per directory.
std::string BoardDirectory();

// The board's socket: OMRIX_SESSION when set, otherwise the one derived from the board
// directory. "" with `problem` set when there can be none.
std::string BoardSocketPath(std::string& problem);

}  // namespace omrix::session
