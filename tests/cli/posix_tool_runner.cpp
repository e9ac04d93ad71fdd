// omrixctl started as a POSIX shell starts it: posix_spawn with the streams on files.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tool_runner.h"

namespace omrix::cli::testing {

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

}  // namespace omrix::cli::testing
