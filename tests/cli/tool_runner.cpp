#include "tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace omrix::cli::testing {

namespace {

const char* const kStagedFiles[] = {"setup.bit", "demo.bit", "demo.bin", "basic52.dat",
                                    "hello.b52"};

std::string DefaultSim(const std::string& directory) {
  // Quick erases keep a whole session short; the board persists in the directory.
  return "state=" + directory + "omrix-sim/;sector_erase_ms=5;chip_erase_ms=20";
}

bool IsReplaced(const std::string& entry,
                const std::vector<std::pair<std::string, std::string>>& variables) {
  for (const auto& variable : variables) {
    if (entry.compare(0, variable.first.size() + 1, variable.first + "=") == 0) return true;
  }
  return false;
}

// Nothing of the caller's own omrix settings may leak into the child.
bool IsOmrixVariable(const std::string& entry) { return entry.compare(0, 6, "OMRIX_") == 0; }

}  // namespace

ToolCommand::ToolCommand(const std::vector<std::string>& arguments,
                         std::vector<std::string> environment)
    : environment_(std::move(environment)) {
  arguments_.push_back(OMRIXCTL_PATH);
  arguments_.insert(arguments_.end(), arguments.begin(), arguments.end());
  for (std::string& text : arguments_) argv_.push_back(text.data());
  argv_.push_back(nullptr);
  for (std::string& text : environment_) envp_.push_back(text.data());
  envp_.push_back(nullptr);
}

LibraryDirectory::LibraryDirectory(const std::vector<std::string>& extraFiles)
    : path_(root_.file("lib/")) {
  std::filesystem::create_directories(path_);
  std::filesystem::create_directories(root_.file("capture"));
  std::vector<std::string> names(std::begin(kStagedFiles), std::end(kStagedFiles));
  names.insert(names.end(), extraFiles.begin(), extraFiles.end());
  for (const std::string& name : names) {
    std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, path_ + name);
  }
}

std::vector<std::string> LibraryDirectory::environmentFor(
    const std::vector<std::pair<std::string, std::string>>& environment) const {
  std::vector<std::pair<std::string, std::string>> variables = {{"OMRIX_LIBRARY_DIR", path_},
                                                                {"OMRIX_SIM", DefaultSim(path_)}};
  for (const auto& variable : environment) {
    bool replaced = false;
    for (auto& existing : variables) {
      if (existing.first == variable.first) {
        existing.second = variable.second;
        replaced = true;
      }
    }
    if (!replaced) variables.push_back(variable);
  }
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) {
    if (!IsOmrixVariable(*entry) && !IsReplaced(*entry, variables)) entries.emplace_back(*entry);
  }
  for (const auto& variable : variables) entries.push_back(variable.first + "=" + variable.second);
  return entries;
}

ToolRun LibraryDirectory::run(const std::vector<std::string>& arguments,
                              const std::vector<std::pair<std::string, std::string>>& environment,
                              const std::string& input) const {
  const ToolCommand command(arguments, environmentFor(environment));

  const std::string outPath = root_.file("capture/out");
  const std::string errPath = root_.file("capture/err");
  const std::string inPath = root_.file("capture/in");
  WriteWholeFile(inPath, input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, path_.c_str());
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, OMRIXCTL_PATH, &actions, nullptr, command.argv(), command.envp());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(spawned));

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  ToolRun result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  return result;
}

std::string NameOfArguments(const std::vector<std::string>& arguments) {
  std::string name;
  for (const std::string& argument : arguments) {
    for (const char c : argument + " ") {
      const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (kept) {
        name += c;
      } else if (!name.empty() && name.back() != '_') {
        name += '_';
      }
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "none" : name;
}

std::string InDirectory(const std::string& text, const std::string& directory) {
  std::string result;
  for (const char c : text) {
    if (c == '@') {
      result += directory;
    } else {
      result += c;
    }
  }
  return result;
}

bool ContainsInOrder(const std::string& haystack, const std::vector<std::string>& needles,
                     std::string& missing) {
  std::size_t from = 0;
  for (const std::string& needle : needles) {
    const std::size_t at = haystack.find(needle, from);
    if (at == std::string::npos) {
      missing = needle;
      return false;
    }
    from = at + needle.size();
  }
  return true;
}

}  // namespace omrix::cli::testing
