// omrixctl's usage, per-subcommand help and version texts.
#pragma once

#include <string>

namespace omrix::cli {

std::string ToolHelp();

// The help of one subcommand; empty for a name that is none.
std::string SubcommandHelp(const std::string& name);

std::string VersionLine();

}  // namespace omrix::cli
