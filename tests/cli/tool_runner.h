// Runs the built omrixctl as a child process in a library directory of its own, as a user's
// shell would: its own omrix.dat, data files and simulated board that persists between runs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/files.h"

namespace omrix::cli::testing {

using omrix::testing::ReadWholeFile;
using omrix::testing::WriteWholeFile;

struct ToolRun {
  int exitStatus = -1;  // -1: ended by a signal
  std::string out;
  std::string err;
};

// omrixctl's argument and environment vectors, as execve and posix_spawn take them; they
// point into this object, which must outlive the call.
class ToolCommand {
 public:
  ToolCommand(const std::vector<std::string>& arguments, std::vector<std::string> environment);
  ToolCommand(const ToolCommand&) = delete;
  ToolCommand& operator=(const ToolCommand&) = delete;

  char* const* argv() const { return argv_.data(); }
  char* const* envp() const { return envp_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<std::string> environment_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

class LibraryDirectory {
 public:
  // Stages setup.bit, demo.bit, demo.bin, basic52.dat and hello.b52 plus `extraFiles` from the
  // build's data directory.
  explicit LibraryDirectory(const std::vector<std::string>& extraFiles = {});

  const std::string& path() const { return path_; }  // ends in the system's separator
  std::string file(const std::string& name) const { return path_ + name; }
  std::string simStateDirectory() const { return path_ + "omrix-sim/"; }

  // Runs omrixctl with this directory as working and library directory. `environment`
  // entries replace or add variables (an OMRIX_SIM given here replaces the default one);
  // `input` is all its standard input holds.
  ToolRun run(const std::vector<std::string>& arguments,
              const std::vector<std::pair<std::string, std::string>>& environment = {},
              const std::string& input = "") const;

  // The child's whole environment: the caller's without its OMRIX_ variables, this
  // directory's, then `environment`'s entries.
  std::vector<std::string> environmentFor(
      const std::vector<std::pair<std::string, std::string>>& environment) const;

 private:
  omrix::testing::TemporaryDirectory root_;  // holds the library directory and the captured output
  std::string path_;
};

// A test name made of the arguments: letters and digits kept, runs of anything else as '_'.
std::string NameOfArguments(const std::vector<std::string>& arguments);

// Replaces every "@" in text by the directory, so expected lines can name staged files.
std::string InDirectory(const std::string& text, const std::string& directory);

// Whether `needles` occur in `haystack` in this order, each after the end of the one before;
// the first one missing is named in `missing`.
bool ContainsInOrder(const std::string& haystack, const std::vector<std::string>& needles,
                     std::string& missing);

}  // namespace omrix::cli::testing
