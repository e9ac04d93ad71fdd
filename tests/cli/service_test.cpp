// omrixctl's service tools as a technician uses them at a terminal: the test routines' shell,
// the I/O tests and the cable emulations, answered on standard input.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "board_view.h"
#include "running_tool.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

TEST(Shell, RunsTheTestRoutinesInOneSession) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  std::filesystem::copy_file(directory.file("demo.bit"), directory.file("Demo.BIT"));
  // The byte written stays until the read: no start-up runs between the two.
  const ToolRun run =
      directory.run({"-q", "shell"}, {}, "O 1 5a\n\ni 1\nc Demo.BIT\nx\n@\n\ns 0\nquit\ns 1\n");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(
      run.out,
      {"5Ah written to address 01h\n\n", "5Ah read from address 01h\n\n",
       "'" + directory.file("Demo.BIT") + "'", "-> done\n",
       "Sorry, this command is not implemented\n\n", "nothing happens, just waiting\n",
       "aborted\n\n", "Signal PPinit reset, now at low level\n\n"},
      missing))
      << missing << " missing in\n"
      << run.out;
  EXPECT_EQ(run.out.find("Sorry", run.out.find("Sorry") + 1), std::string::npos)
      << "an empty line is no command";
  EXPECT_EQ(run.out.find("Signal PPinit set"), std::string::npos) << "nothing runs after quit";
  EXPECT_EQ(ReadBoard(directory).design, sim::Design::Demo);
}

struct ServiceCase {
  std::vector<std::string> arguments;
  std::string answers;
  int exitStatus;
  std::string verdict;  // on stdout
  std::string asked;    // on stderr
};

class ServiceTools : public ::testing::TestWithParam<ServiceCase> {};

TEST_P(ServiceTools, AskAtTheTerminalAndEndInTheRunConfiguration) {
  const ServiceCase& c = GetParam();
  const LibraryDirectory directory(
      {"LIOTESTA.BIT", "LIOTESTB.BIT", "pRAXnodeTestA.BIT", "pRAXnodeTestB.BIT", "emudlc5.bit"});
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  const ToolRun run = directory.run(c.arguments, {}, c.answers);
  EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
  EXPECT_NE(run.out.find(c.verdict), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(c.asked), std::string::npos) << run.err;
  EXPECT_EQ(ReadBoard(directory).design, sim::Design::Demo);
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, ServiceTools,
    ::testing::Values(
        ServiceCase{{"io-test", "omrix"}, "y\ny\n", 0, "-> FPGA I/O test OK\n", "flash slow ?"},
        // Without an answer nobody says yes.
        ServiceCase{{"io-test", "praxnode"},
                    "",
                    1,
                    "-> ERROR: pRAXnode I/O test failed\n",
                    "ERROR: Check pRAXnode I/O\xC2\xB4s"},
        ServiceCase{{"emulate", "dlc5"},
                    "\n",
                    0,
                    "JTAG signal:       TCK  TMS  TDO  TDI\n",
                    "-> ready for 'iMPACT' now"}),
    [](const ::testing::TestParamInfo<ServiceCase>& test) {
      return NameOfArguments(test.param.arguments);
    });

TEST(ServiceTools, EmulationWhoseDesignIsMissingFails) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const ToolRun run = directory.run({"emulate", "dlc5"}, {}, "\n");
  EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("FpgaConfig(emudlc5.bit, 0, 0) -> result: 8"), std::string::npos)
      << run.err;
}

struct AnswerCase {
  std::string name;
  std::string typed;  // then the input ends
  int signal;         // sent once the question is asked; 0 for none
  int exitStatus;
  std::string verdict;  // omrixctl's own line
};

class IoTestAnswer : public ::testing::TestWithParam<AnswerCase> {};

// Only a person's No is a verdict on the board.
TEST_P(IoTestAnswer, FailsTheTestOnlyWhenSomeoneSaidNo) {
  const AnswerCase& c = GetParam();
  const LibraryDirectory directory({"LIOTESTA.BIT", "LIOTESTB.BIT"});
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  RunningTool tool(directory, {"io-test", "omrix"}, RunningTool::Input::Pipes);
  ASSERT_TRUE(tool.waitFor("answer y or n:", RunningTool::Stream::Err));
  tool.type(c.typed);
  if (c.signal != 0) tool.signal(c.signal);
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
  EXPECT_NE(run.err.find("omrixctl: " + c.verdict + "\n"), std::string::npos) << run.err;
  const std::string notGiven = "the I/O test failed";
  if (c.verdict != notGiven) {
    EXPECT_EQ(run.err.find(notGiven), std::string::npos) << run.err;
  }
}

constexpr int kEndedBySignal = 128;
const std::string kNoAnswer = "the I/O test was not completed: its question got no answer";

INSTANTIATE_TEST_SUITE_P(
    IoTest, IoTestAnswer,
    ::testing::Values(AnswerCase{"No", "n\n", 0, 1, "the I/O test failed"},
                      AnswerCase{"EndOfInput", "", 0, 1, kNoAnswer},
                      AnswerCase{"Interrupted", "", InterruptSignal(),
                                 kEndedBySignal + InterruptSignal(), kNoAnswer}),
    [](const ::testing::TestParamInfo<AnswerCase>& test) { return test.param.name; });

}  // namespace
}  // namespace omrix::cli::testing
