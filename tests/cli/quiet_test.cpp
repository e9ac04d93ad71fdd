// -q: a successful command prints only what was asked for; errors and warnings always print.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

struct QuietCase {
  std::vector<std::string> arguments;
  std::string input;
  std::string out;    // exactly; "*" stands for the digits of a rate
  bool setUp = true;  // the board set up and configured first
};

class Quiet : public ::testing::TestWithParam<QuietCase> {};

TEST_P(Quiet, PrintsOnlyWhatWasAskedFor) {
  const QuietCase& c = GetParam();
  const LibraryDirectory directory;
  if (c.setUp) {
    ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
    ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  }
  std::vector<std::string> arguments = {"-q"};
  arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
  const ToolRun run = directory.run(arguments, {}, c.input);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::string out = run.out;
  for (std::size_t at = out.find("sec"); at != std::string::npos; at = out.find("sec", at)) {
    const std::size_t digits = out.rfind(": ", at) + 2;
    out.replace(digits, out.find(' ', digits) - digits, "*");
    at = out.find("sec", digits) + 3;
  }
  EXPECT_EQ(out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Quiet,
    ::testing::Values(
        // The start-up that only writes the first omrix.dat is not asked for.
        QuietCase{{"setup"}, "", "", false}, QuietCase{{"program", "cpu1", "demo.bin"}, "", ""},
        QuietCase{{"erase", "cpu2"}, "", ""},
        QuietCase{{"in", "1"}, "", "00h read from address 01h\n"},
        QuietCase{{"rate"},
                  "",
                  "PC -> mm-bus: * Kbyte/sec, streaming\nPC -> mm-bus: * Kbyte/sec\n"
                  "PC <- mm-bus: * Kbyte/sec, streaming\nPC <- mm-bus: * Kbyte/sec\n"},
        // The shell's answers are what was asked for; its banner is not.
        QuietCase{{"shell"}, "s 1\n", "Signal PPinit set, now at high level, default setting\n\n"}),
    [](const ::testing::TestParamInfo<QuietCase>& test) {
      return NameOfArguments(test.param.arguments);
    });

}  // namespace
}  // namespace omrix::cli::testing
