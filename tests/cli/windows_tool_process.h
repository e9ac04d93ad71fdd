// What starting omrixctl on Windows takes, for the one-shot and the running tool alike.
#pragma once

#include <string>
#include <vector>

namespace omrix::cli::testing {

// omrixctl and its arguments as one command line, quoted as the C runtime parses it back.
std::string ToolCommandLine(const std::vector<std::string>& arguments);

// The entries as CreateProcess takes an environment: each ended by a NUL, then one more.
std::string EnvironmentBlock(const std::vector<std::string>& entries);

// The console's line end read back as the '\n' omrixctl wrote.
std::string WithoutCarriageReturns(const std::string& text);

}  // namespace omrix::cli::testing
