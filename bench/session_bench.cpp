// One 'in 1' through a session host against the same command in a short session of its own
// (bring-up, start-up, command, end), side by side, in-process: process start-up is the same
// for both and left out. Target: the host at least 20 times faster.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "client.h"
#include "command_line.h"
#include "host.h"
#include "session.h"
#include "session/board_socket.h"

namespace {

using omrix::cli::Invocation;

constexpr double kTargetSpeedup = 20.0;
constexpr std::chrono::milliseconds kHostPoll{10};
const char* const kStagedFiles[] = {"setup.bit", "demo.bit", "basic52.dat"};
const std::vector<std::string> kIn = {"-q", "in", "1"};

double shortSessionSeconds = 0;
double hostRoundTripSeconds = 0;

Invocation Parse(const std::vector<std::string>& arguments) {
  return omrix::cli::ParseCommandLine(arguments).invocation;
}

// The command's answers are not what is measured: stdout goes to /dev/null meanwhile.
class Silenced {
 public:
  Silenced() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~Silenced() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  Silenced(const Silenced&) = delete;
  Silenced& operator=(const Silenced&) = delete;

 private:
  int saved_;
};

// A library directory of its own with a set-up board.
void StageBoard() {
  std::string base = std::filesystem::temp_directory_path().string() + "/omrix-bench-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) std::abort();
  const std::string directory = base + "/";
  for (const char* name : kStagedFiles)
    std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, directory + name);
  setenv("OMRIX_LIBRARY_DIR", directory.c_str(), 1);
  setenv("OMRIX_SIM", ("state=" + directory + "omrix-sim/").c_str(), 1);
  const Silenced quiet;
  if (omrix::cli::RunSession(Parse({"-q", "setup"})) != 0) std::abort();
}

void ShortSession(benchmark::State& state) {
  const Invocation in = Parse(kIn);
  const Silenced quiet;
  for (auto _ : state) benchmark::DoNotOptimize(omrix::cli::RunSession(in));
}

void ThroughHost(benchmark::State& state) {
  std::string problem;
  const std::string socket = omrix::session::BoardSocketPath(problem);
  const pid_t host = fork();
  if (host == 0) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    _exit(omrix::cli::Serve(Parse({"serve"}), socket));
  }
  const Invocation in = Parse(kIn);
  {
    const Silenced quiet;
    // Until the host has run its start-up and answers.
    while (!omrix::cli::RunInHost(kIn, in, socket)) std::this_thread::sleep_for(kHostPoll);
    for (auto _ : state) benchmark::DoNotOptimize(omrix::cli::RunInHost(kIn, in, socket));
    omrix::cli::StopHost(socket);
  }
  waitpid(host, nullptr, 0);
}

// Records each benchmark's time per iteration, for the verdict.
class Verdict final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (run.benchmark_name().find("ShortSession") != std::string::npos)
        shortSessionSeconds = seconds;
      if (run.benchmark_name().find("ThroughHost") != std::string::npos)
        hostRoundTripSeconds = seconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

BENCHMARK(ShortSession)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ThroughHost)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  StageBoard();
  Verdict reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (shortSessionSeconds <= 0 || hostRoundTripSeconds <= 0) return 0;  // one was filtered out
  const double speedup = shortSessionSeconds / hostRoundTripSeconds;
  std::printf("host_speedup: %.1f (target at least %.0f)\n", speedup, kTargetSpeedup);
  return speedup >= kTargetSpeedup ? 0 : 1;
}
