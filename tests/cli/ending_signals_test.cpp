// The ends of a session that nobody typed (SIGTERM, SIGINT and SIGHUP; a Windows console's
// Ctrl-C) let the running subcommand finish and end the session in order.
#include <gtest/gtest.h>

#include <string>

#include "board_view.h"
#include "running_tool.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

using Input = RunningTool::Input;
using Stream = RunningTool::Stream;

constexpr int kEndedBySignal = 128;

class EndingSignal : public ::testing::TestWithParam<int> {};

// The emulation waits for Enter: the signal comes in the middle of a
// subcommand.
TEST_P(EndingSignal, LetsTheRunningSubcommandFinishAndStartsNoOther) {
  const LibraryDirectory directory({"emudlc5.bit"});
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  WriteWholeFile(directory.file("work.txt"), "emulate dlc5\ncpu run 1\n");
  RunningTool tool(directory, {"script", "work.txt"}, Input::Pipes);
  ASSERT_TRUE(tool.waitFor("press Enter for OK", Stream::Err));
  tool.signal(GetParam());
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, kEndedBySignal + GetParam()) << run.err;
  const std::size_t emulation = run.out.find("Emulate XILINX JTAG download cable");
  ASSERT_NE(emulation, std::string::npos) << run.out;
  EXPECT_NE(
      run.out.find("Configure FPGA via PC with file: '" + directory.file("demo.bit"), emulation),
      std::string::npos)
      << "the emulation did not end in the run configuration\n"
      << run.out;
  EXPECT_EQ(run.out.find("Run CPU file 1"), std::string::npos) << run.out;
  EXPECT_EQ(ReadBoard(directory).design, sim::Design::Demo);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingSignal, ::testing::ValuesIn(EndingSignals()),
                         [](const ::testing::TestParamInfo<int>& test) {
                           return "Signal" + std::to_string(test.param);
                         });

TEST(EndingSignals, StopTheWaitingLoopAndTheShell) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  RunningTool tool(directory, {"shell"}, Input::Pipes);
  tool.type("@\n");
  ASSERT_TRUE(tool.waitFor("nothing happens, just waiting\n"));
  tool.signal(InterruptSignal());
  ASSERT_TRUE(tool.waitFor("aborted\n"));
  tool.type("s 0\n");
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, kEndedBySignal + InterruptSignal()) << run.err;
  EXPECT_EQ(run.out.find("Signal PPinit reset"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace omrix::cli::testing
