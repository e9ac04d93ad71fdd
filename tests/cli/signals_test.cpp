// A closed terminal ends the shell in order.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "board_view.h"
#include "running_tool.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

using Input = RunningTool::Input;

constexpr int kEndedBySignal = 128;
const std::pair<std::string, std::string> kTerminalType = {"TERM", "vt100"};

TEST(EndingSignals, ClosedTerminalEndsTheShellInOrder) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  RunningTool tool(directory, {"shell"}, Input::Terminal, {kTerminalType});
  ASSERT_TRUE(tool.waitFor("omrix> "));
  tool.type("c demo.bit\r");
  ASSERT_TRUE(tool.waitFor("-> done"));
  tool.signal(SIGHUP);
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, kEndedBySignal + SIGHUP) << run.out;
  EXPECT_NE(ReadWholeFile(directory.file("omrix.dat"))
                .find("demo.bit //ASC FPGA full-path-filename for config via PC"),
            std::string::npos)
      << ReadWholeFile(directory.file("omrix.dat"));
  EXPECT_EQ(ReadBoard(directory).design, sim::Design::Demo);
}

}  // namespace
}  // namespace omrix::cli::testing
