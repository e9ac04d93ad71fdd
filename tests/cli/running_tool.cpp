#include "running_tool.h"

#include <poll.h>
#include <pty.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <string>

namespace omrix::cli::testing {

namespace {

// A safety net against a hanging tool, never a measure of speed: a test fails
// instead of waiting for ever.
constexpr int kPollMilliseconds = 1000;
constexpr int kSilentPollsAllowed = 120;
// How often a tool filling its output is looked at: nothing wakes a wait for it to stop.
constexpr useconds_t kLookMicroseconds = 20000;
constexpr int kSilentLooksAllowed = 6000;

pid_t Pid(std::intptr_t child) { return static_cast<pid_t>(child); }

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

int InterruptSignal() { return SIGINT; }

std::vector<int> EndingSignals() { return {SIGTERM, SIGINT, SIGHUP}; }

bool PseudoTerminals() { return true; }

RunningTool::RunningTool(const LibraryDirectory& directory,
                         const std::vector<std::string>& arguments, Input input,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
  const ToolCommand command(arguments, directory.environmentFor(environment));
  const std::string workingDirectory = directory.path();

  if (input == Input::Terminal) {
    int master = -1;
    child_ = forkpty(&master, nullptr, nullptr, nullptr);
    if (child_ < 0) throw std::runtime_error("forkpty failed");
    if (child_ == 0) {
      if (chdir(workingDirectory.c_str()) == 0)
        execve(OMRIXCTL_PATH, command.argv(), command.envp());
      _exit(127);
    }
    input_ = master;
    out_ = dup(master);
    terminal_ = true;
    return;
  }
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  child_ = fork();
  if (child_ < 0) throw std::runtime_error("fork failed");
  if (child_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(workingDirectory.c_str()) == 0) execve(OMRIXCTL_PATH, command.argv(), command.envp());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  input_ = in[1];
  out_ = out[0];
  err_ = err[0];
}

RunningTool::~RunningTool() {
  CloseIfOpen(input_);
  CloseIfOpen(out_);
  CloseIfOpen(err_);
  if (child_ > 0) {
    kill(Pid(child_), SIGKILL);
    waitpid(Pid(child_), nullptr, 0);
  }
}

void RunningTool::type(const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t got = write(input_, text.data() + written, text.size() - written);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw std::runtime_error("the tool no longer reads its input");
    written += static_cast<std::size_t>(got);
  }
}

void RunningTool::collect(int& fd, std::string& text) {
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  } else if (got == 0 || errno != EINTR) {
    CloseIfOpen(fd);  // the end, or a hung-up terminal's EIO
  }
}

bool RunningTool::readSome() {
  for (int silent = 0; silent < kSilentPollsAllowed; ++silent) {
    if (out_ < 0 && err_ < 0) return false;
    pollfd fds[] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    const int ready = poll(fds, 2, kPollMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    if (fds[0].revents != 0) collect(out_, outText_);
    if (fds[1].revents != 0) collect(err_, errText_);
    return true;
  }
  return false;
}

bool RunningTool::waitFor(const std::string& text, Stream stream) {
  const std::string& seen = stream == Stream::Out ? outText_ : errText_;
  while (seen.find(text) == std::string::npos) {
    if (!readSome()) return false;
  }
  return true;
}

bool RunningTool::waitUntilOutputWaits() {
  // What the kernel shows of a process asleep in write(1, ...).
  const std::string writingOut = std::to_string(SYS_write) + " 0x1 ";
  const std::string syscallFile = "/proc/" + std::to_string(child_) + "/syscall";
  for (int silent = 0; silent < kSilentLooksAllowed; ++silent) {
    std::ifstream in(syscallFile);
    std::string call;
    if (!std::getline(in, call)) return false;  // it ended
    if (call.compare(0, writingOut.size(), writingOut) == 0) return true;
    usleep(kLookMicroseconds);
  }
  return false;
}

void RunningTool::signal(int number) { kill(Pid(child_), number); }

ToolRun RunningTool::finish() {
  if (!terminal_) CloseIfOpen(input_);  // a terminal's master also carries the output
  while (readSome()) {
  }
  if (out_ >= 0 || err_ >= 0) kill(Pid(child_), SIGKILL);  // it went silent without ending
  CloseIfOpen(input_);
  ToolRun result;
  int status = 0;
  while (waitpid(Pid(child_), &status, 0) < 0 && errno == EINTR) {
  }
  child_ = -1;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = outText_;
  result.err = errText_;
  return result;
}

}  // namespace omrix::cli::testing
