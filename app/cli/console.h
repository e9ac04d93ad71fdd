// Where omrixctl's texts go: what the GUI would show in its output window goes to stdout, the
// tool's own diagnostics to stderr, so a script can keep the board's transcript apart.
#pragma once

#include <cstdint>
#include <string>

namespace omrix::cli {

// 8-bit Windows-1252 text (the library's and the GUI's), shown on stdout as UTF-8 at once,
// so it interleaves correctly with the library's progress dots and with stderr.
void Show(const std::string& text);

// One diagnostic line on stderr, prefixed with "omrixctl: ".
void Complain(const std::string& text);

}  // namespace omrix::cli
