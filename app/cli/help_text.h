// omrixctl's usage, per-subcommand help and version texts.
#pragma once

#include <string>
#include <vector>

namespace omrix::cli {

std::string ToolHelp();

// The help of one subcommand; empty for a name that is none.
std::string SubcommandHelp(const std::string& name);
// The subcommands that have a help entry, in the order the overview lists them.
std::vector<std::string> HelpTopics();

std::string VersionLine();

}  // namespace omrix::cli
