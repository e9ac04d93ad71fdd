// What omrixctl refuses on its own, before or around the library's work: each refusal names
// the file and the system's reason, and loses nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/environment.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

struct ScriptCase {
  const char* name;
  std::function<std::string(const LibraryDirectory&)> prepare;  // gives the script's path
  std::string complaint;                                        // "@": the library directory
};

class ScriptRefusals : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptRefusals, AreBadUsageAndRunNothing) {
  const ScriptCase& c = GetParam();
  const LibraryDirectory directory;
  const std::string script = c.prepare(directory);
  const ToolRun run = directory.run({"script", script});
  EXPECT_EQ(run.exitStatus, 2) << run.err;
  EXPECT_NE(run.err.find(InDirectory(c.complaint, directory.path())), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "") << "a session was started";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScriptRefusals,
    ::testing::Values(
        ScriptCase{"Missing", [](const LibraryDirectory& d) { return d.file("gone.txt"); },
                   "omrixctl: cannot read script '@gone.txt': No such file or directory\n"},
        ScriptCase{"Directory", [](const LibraryDirectory& d) { return d.path() + "."; },
                   "omrixctl: cannot read script '@.': Is a directory\n"},
        // What some editors save: every other byte a NUL.
        ScriptCase{"Utf16",
                   [](const LibraryDirectory& d) {
                     WriteWholeFile(d.file("utf16.txt"), std::string("\xFF\xFE"
                                                                     "c\0p\0u\0 \0r\0u\0n\0 \0"
                                                                     "1\0\n\0",
                                                                     22));
                     return d.file("utf16.txt");
                   },
                   "omrixctl: script line 1: a NUL byte"}),
    [](const ::testing::TestParamInfo<ScriptCase>& test) { return std::string(test.param.name); });

// A directory the system cannot search through is refused with its reason, never an abort.
TEST(LibraryDirectoryRefusal, TooLongANameEndsWithStatusOne) {
  const LibraryDirectory directory;
  std::string tooLong = directory.path();
  while (tooLong.size() < 5000) tooLong += "long-directory-name/";
  for (const char* subcommand : {"setup", "start"}) {
    SCOPED_TRACE(subcommand);
    const ToolRun run = directory.run({subcommand}, {{"OMRIX_LIBRARY_DIR", tooLong}});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("omrix.dat': File name too long\n"), std::string::npos) << run.err;
  }
}

// The system's null device reads as an empty file: programmed, it would leave the slot erased.
TEST(DeviceRefusal, ProgrammingFromTheNullDeviceErasesNothing) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const ToolRun run = directory.run({"program", "cpu1", omrix::testing::NullDevice()});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("not a regular file, nothing erased\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Sector erase"), std::string::npos) << run.out;
}

TEST(StateFileRefusal, NamesTheFileAndItsReasonAndLeavesItAlone) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const std::string inTheWay = directory.file("omrixctl.state.new");
  ASSERT_TRUE(std::filesystem::create_directory(inTheWay));
  const ToolRun run = directory.run({"program", "cpu1", "demo.bin"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;  // the flash holds the program all the same
  EXPECT_NE(run.err.find("omrixctl: warning: update-cpu will not know this file: cannot write '" +
                         inTheWay + "': Is a directory\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::is_directory(inTheWay));
}

}  // namespace
}  // namespace omrix::cli::testing
