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

// The reader of the output falls behind: the interrupt comes while omrixctl waits to write,
// which must not cut a line out of what it had still to say.
TEST(EndingSignals, LoseNoOutputWaitingForItsReader) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  RunningTool tool(directory, {"shell"}, Input::Pipes);
  // Far more help than a pipe holds.
  constexpr int kHelps = 400;
  std::string typed;
  for (int i = 0; i < kHelps; ++i) typed += "?\n";
  tool.type(typed);
  ASSERT_TRUE(tool.waitUntilOutputWaits());
  tool.signal(InterruptSignal());
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, kEndedBySignal + InterruptSignal()) << run.err;
  const std::string help =
      "\nCmdline help for test routines\n"
      "---------------------------------\n\n"
      "outbyte mm-bus                    o   <ADDRESSh><DATAh>, o 10 55\n"
      "inbyte  mm-bus                    i   <ADDRESSh>, i 11\n"
      "set/reset PPinit                  s   <0/1>, s 1\n"
      "read PPack                        g\n"
      "FPGA configuration                c   <FILENAME>, c demo.bit\n"
      "help                              ?\n\n"
      "\n";  // the blank line after every answer
  // Each help asked for before the interrupt shown whole, then only the shell's last blank line.
  std::size_t at = run.out.find(help);
  ASSERT_NE(at, std::string::npos) << run.out;
  while (run.out.compare(at, help.size(), help) == 0) at += help.size();
  EXPECT_EQ(run.out.find_first_not_of('\n', at), std::string::npos) << run.out.substr(at);
}

}  // namespace
}  // namespace omrix::cli::testing
