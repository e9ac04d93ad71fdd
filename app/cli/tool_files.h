// The files omrixctl itself looks after: the absolute names it hands to the library, and its
// state file beside omrix.dat, which lets update-cpu and update-fpga work across invocations
// as the program's lastCpuFile does within one run.
#pragma once

#include <optional>
#include <string>

#include "commands/library_files.h"
#include "commands/menu_commands.h"

namespace omrix::cli {

using commands::LibraryDirectory;

// The name made absolute; for a file that does not exist yet, its directory is resolved and
// the last component kept.
std::string AbsolutePath(const std::string& name);

inline constexpr const char* kStateFileName = "omrixctl.state";

// Nothing recorded (no file, or not one omrixctl wrote) gives nullopt.
std::optional<commands::LastCpuFile> ReadLastCpuFile(const std::string& stateFile);

// Replaces the file whole (temporary file and rename); false with error set on failure.
bool WriteLastCpuFile(const std::string& stateFile, const commands::LastCpuFile& last,
                      std::string& error);

}  // namespace omrix::cli
