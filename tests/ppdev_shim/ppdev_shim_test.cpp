// omrixctl on the ppdev backend, through the real libieee1284, with the kernel's drivers
// played by the preloaded shim over the simulated board.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "kernel_parport.h"
#include "omrix/sim/simulator.h"
#include "omrix/sim/state_store.h"
#include "tool_runner.h"

extern char** environ;

namespace omrix::cli::testing {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr std::uint32_t kCpuFile1 = 0x10000;
constexpr const char* kSimNotice = "simulated omrix board";

Environment OnPpdev(const LibraryDirectory& directory, const std::string& port) {
  return {{"OMRIX_PORT_IO", "ppdev"},
          {"LD_PRELOAD", PPDEV_SHIM_PATH},
          {"OMRIX_SIM", "state=" + directory.simStateDirectory() +
                            ";sector_erase_ms=5;chip_erase_ms=20" + port}};
}

// The transfer mode the setup recorded, as omrix.dat holds it.
std::string RecordedPpcontrol(const LibraryDirectory& directory) {
  const std::string data = ReadWholeFile(directory.file("omrix.dat"));
  const std::size_t at = data.find(" //HEX PPcontrol");
  if (at == std::string::npos) return "none";
  const std::size_t start = data.rfind('\n', at);
  return data.substr(start == std::string::npos ? 0 : start + 1,
                     at - (start == std::string::npos ? 0 : start + 1));
}

struct PortKind {
  const char* name;
  const char* simulated;  // added to OMRIX_SIM
  const char* ppcontrol;  // the mode the setup must find
};

void PrintTo(const PortKind& kind, std::ostream* out) { *out << kind.name; }

class ThroughLibieee1284 : public ::testing::TestWithParam<PortKind> {};

TEST_P(ThroughLibieee1284, SetsUpConfiguresAndProgramsTheBoard) {
  const LibraryDirectory directory;
  const Environment ppdev = OnPpdev(directory, GetParam().simulated);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"setup"}, {"fpga", "demo.bit"}, {"program", "cpu1", "demo.bin"}}) {
    const ToolRun run = directory.run(command, ppdev);
    ASSERT_EQ(run.exitStatus, 0) << command[0] << "\n" << run.out << run.err;
    EXPECT_EQ(run.out.find(kSimNotice), std::string::npos) << run.out;
    // The port was closed with its lines at rest.
    EXPECT_EQ(run.err.find(ppdev_shim::kNegotiatedBack), std::string::npos) << command[0];
  }
  EXPECT_EQ(RecordedPpcontrol(directory), GetParam().ppcontrol);

  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator board(config);
  ASSERT_TRUE(board.attach());
  EXPECT_EQ(board.design(), sim::Design::Demo);
  const std::string program = ReadWholeFile(directory.file("demo.bin"));
  ASSERT_FALSE(program.empty());
  const std::vector<std::uint8_t>& flash = board.flash();
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin() + kCpuFile1,
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

INSTANTIATE_TEST_SUITE_P(Ports, ThroughLibieee1284,
                         ::testing::Values(PortKind{"Epp", "", "44"},
                                           PortKind{"Ps2", ";epp=", "A4"},
                                           PortKind{"Spp", ";epp=;bidir=", "4"}),
                         [](const ::testing::TestParamInfo<PortKind>& kind) {
                           return std::string(kind.param.name);
                         });

// A board unplugged after its setup leaves every EPP cycle timed out; a read of one must fail
// rather than be retried in the kernel for ever.
TEST(BoardGone, EppReadsFailInsteadOfHanging) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}, OnPpdev(directory, "")).exitStatus, 0);
  ASSERT_EQ(RecordedPpcontrol(directory), "44");

  const ToolRun run = directory.run({"in", "1"}, OnPpdev(directory, ";board=none"));
  EXPECT_EQ(run.err.find(ppdev_shim::kEppReadLoops), std::string::npos) << run.err;
  // It reads as an absent board does.
  EXPECT_NE(run.out.find("FFh read from address 01h"), std::string::npos) << run.out << run.err;
}

// A program running beside the test: its output (both streams) read as it comes, its
// standard input written when the test answers.
class Child {
 public:
  Child(const std::vector<std::string>& arguments, const Environment& environment,
        const std::string& directory) {
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return;
    in_ = sim::UniqueFd(input[1]);
    out_ = sim::UniqueFd(output[0]);
    const sim::UniqueFd childIn(input[0]);
    const sim::UniqueFd childOut(output[1]);

    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      bool replaced = text.compare(0, 6, "OMRIX_") == 0;
      for (const auto& variable : environment) {
        const std::string prefix = variable.first + "=";
        replaced = replaced || text.compare(0, prefix.size(), prefix) == 0;
      }
      if (!replaced) entries.push_back(text);
    }
    for (const auto& variable : environment)
      entries.push_back(variable.first + "=" + variable.second);
    std::vector<std::string> texts = arguments;
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& text : entries) envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childIn.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads until `text` has appeared; false when the child ended first.
  bool waitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      if (!readSome()) return false;
    }
    return true;
  }

  void answer(const std::string& input) {
    std::size_t written = 0;
    while (written < input.size()) {
      const ssize_t now = ::write(in_.get(), input.data() + written, input.size() - written);
      if (now < 0 && errno == EINTR) continue;
      if (now <= 0) break;
      written += static_cast<std::size_t>(now);
    }
    in_.reset();
  }

  // Its exit status once it has ended, -1 for a signal or a child that never ran.
  int wait() {
    in_.reset();
    while (readSome()) {
    }
    if (pid_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& output() const { return output_; }

 private:
  bool readSome() {
    if (!out_.valid()) return false;
    char buffer[4096];
    ssize_t got = 0;
    do {
      got = ::read(out_.get(), buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
      out_.reset();
      return false;
    }
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  sim::UniqueFd in_;
  sim::UniqueFd out_;
  std::string output_;
};

// How long the other program waits for a port someone holds before it calls it busy.
constexpr const char* kPatienceMs = "1000";
constexpr const char* kBoardPort = "378";
constexpr int kClaimed = 0;
constexpr int kBusy = 2;

struct OpenBox {
  const char* name;
  std::vector<std::string> command;
  const char* asked;    // the box's question, shown while the tool waits
  const char* answers;  // given once the other program has tried the port
  int otherProgram;     // how its claim ends
};

void PrintTo(const OpenBox& box, std::ostream* out) { *out << box.name; }

class WhileABoxIsOpen : public ::testing::TestWithParam<OpenBox> {};

TEST_P(WhileABoxIsOpen, AnotherProgramGetsThePortOnlyFromAnEmulation) {
  const LibraryDirectory directory({"LIOTESTA.BIT", "LIOTESTB.BIT", "emudlc5.bit"});
  Environment ppdev = OnPpdev(directory, "");
  ASSERT_EQ(directory.run({"setup"}, ppdev).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}, ppdev).exitStatus, 0);

  Environment tool = ppdev;
  tool.emplace_back("OMRIX_LIBRARY_DIR", directory.path());
  std::vector<std::string> command = {OMRIXCTL_PATH};
  command.insert(command.end(), GetParam().command.begin(), GetParam().command.end());
  Child omrixctl(command, tool, directory.path());
  ASSERT_TRUE(omrixctl.waitFor(GetParam().asked)) << omrixctl.output();

  Child other({PPDEV_CLAIM_ONCE_PATH, kBoardPort, kPatienceMs}, ppdev, directory.path());
  EXPECT_EQ(other.wait(), GetParam().otherProgram) << other.output();

  omrixctl.answer(GetParam().answers);
  omrixctl.wait();
  // Whoever had the port between, the run configuration is back at the end.
  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator board(config);
  ASSERT_TRUE(board.attach());
  EXPECT_EQ(board.design(), sim::Design::Demo) << omrixctl.output();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, WhileABoxIsOpen,
    ::testing::Values(
        OpenBox{"Emulation", {"emulate", "dlc5"}, "-> ready for 'iMPACT' now", "\n", kClaimed},
        OpenBox{"IoTest", {"io-test", "omrix"}, "flash fast ?", "n\n", kBusy}),
    [](const ::testing::TestParamInfo<OpenBox>& box) { return std::string(box.param.name); });

struct Holder {
  const char* name;
  const char* how;  // ppdev_claim_once's HOLD
};

void PrintTo(const Holder& holder, std::ostream* out) { *out << holder.name; }

class WhileAnotherProgramHoldsThePort : public ::testing::TestWithParam<Holder> {};

// Neither the library's claim nor the one libieee1284 makes while it looks for ports may wait
// for as long as the other program keeps the port.
TEST_P(WhileAnotherProgramHoldsThePort, OmrixSaysSoAfterABoundedWait) {
  const LibraryDirectory directory;
  const Environment ppdev = OnPpdev(directory, "");
  ASSERT_EQ(directory.run({"setup"}, ppdev).exitStatus, 0);
  Child other({PPDEV_CLAIM_ONCE_PATH, kBoardPort, kPatienceMs, GetParam().how}, ppdev,
              directory.path());
  ASSERT_TRUE(other.waitFor("holding the port")) << other.output();

  const ToolRun run = directory.run({"in", "1"}, ppdev);
  EXPECT_NE(run.out.find("-> ERROR: port 378h is in use by another program"), std::string::npos)
      << run.out << run.err;
  other.answer("");
  EXPECT_EQ(other.wait(), kClaimed) << other.output();
}

INSTANTIATE_TEST_SUITE_P(Holders, WhileAnotherProgramHoldsThePort,
                         ::testing::Values(Holder{"Claimed", "hold"},
                                           Holder{"RegisteredExclusively", "hold-exclusive"}),
                         [](const ::testing::TestParamInfo<Holder>& holder) {
                           return std::string(holder.param.name);
                         });

}  // namespace
}  // namespace omrix::cli::testing
