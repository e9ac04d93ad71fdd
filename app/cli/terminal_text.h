// The library's texts are Windows-1252; a terminal wants UTF-8.
#pragma once

#include <string>

namespace omrix::cli {

// Valid UTF-8 passes unchanged (file names the caller passed); anything else is read as
// Windows-1252.
std::string ToTerminalText(const std::string& text);

}  // namespace omrix::cli
