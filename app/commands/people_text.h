// The one decoder of text for people, shared by every front end: the library and the program
// speak Windows-1252, file names arrive as the UTF-8 bytes the user chose.
#pragma once

#include <string>

namespace omrix::commands {

// UTF-8 for display: each well-formed UTF-8 sequence as it is, every other byte as the
// Windows-1252 character it stands for ("´" is 0xB4).
std::string PeopleText(const std::string& bytes);

}  // namespace omrix::commands
