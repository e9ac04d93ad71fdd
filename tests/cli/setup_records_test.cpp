// What omrix.dat records survives a setup that runs without a start-up before it.
#include <gtest/gtest.h>

#include <string>

#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

// The run configuration's line and the whole "#flash_content" section.
std::string RecordedValues(const std::string& content) {
  const std::size_t tag = content.find(" //ASC FPGA full-path-filename for config");
  const std::size_t slots = content.find("#flash_content");
  if (tag == std::string::npos || slots == std::string::npos) return "";
  const std::size_t lineStart = content.rfind('\n', tag) + 1;
  return content.substr(lineStart, tag - lineStart) + "\n" + content.substr(slots);
}

TEST(SetupRecords, SetupKeepsTheRunConfigurationAndTheSlotNames) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"fpga", "demo.bit"}, {"program", "cpu1", "demo.bin"}}) {
    const ToolRun run = directory.run(command);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
  }
  const std::string before = RecordedValues(ReadWholeFile(directory.file("omrix.dat")));
  ASSERT_NE(before.find(directory.file("demo.bit") + "\n"), std::string::npos) << before;
  ASSERT_NE(before.find(directory.file("demo.bin") + " //ASC CPU file1"), std::string::npos)
      << before;

  const ToolRun setup = directory.run({"setup"});
  ASSERT_EQ(setup.exitStatus, 0) << setup.out << setup.err;
  EXPECT_EQ(RecordedValues(ReadWholeFile(directory.file("omrix.dat"))), before);
}

}  // namespace
}  // namespace omrix::cli::testing
