// -q: a successful command prints only what was asked for; errors and warnings always print.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "support/environment.h"
#include "tool_runner.h"

namespace omrix::cli::testing {

using omrix::testing::FileSizeLimit;
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

struct NoteCase {
  std::string name;
  std::string libraryDirectory;  // under the staged one; "" for the staged one itself
  rlim_t fileSizeLimit;          // RLIM_INFINITY: none
  std::string error;
  std::string reason;  // after the full path of omrix.dat
};

class QuietNote : public ::testing::TestWithParam<NoteCase> {};

// The line after a library error that names no path is part of that error.
TEST_P(QuietNote, FollowsTheErrorItPlaces) {
  const NoteCase& c = GetParam();
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const std::string libraryDirectory = directory.path() + c.libraryDirectory;
  ToolRun run;
  {
    const FileSizeLimit limit(c.fileSizeLimit);
    run = directory.run({"-q", "setup"}, {{"OMRIX_LIBRARY_DIR", libraryDirectory}});
  }
  EXPECT_NE(run.out.find(c.error + "\n-> \xC2\xB4" + libraryDirectory +
                         "omrix.dat\xC2\xB4: " + c.reason + "\n"),
            std::string::npos)
      << run.out;
}

constexpr rlim_t kSmallerThanOmrixDat = 1000;

INSTANTIATE_TEST_SUITE_P(
    Setup, QuietNote,
    ::testing::Values(
        NoteCase{"Missing", "nonexistent/", RLIM_INFINITY,
                 "ERROR: could not open file \xC2\xB4omrix.dat\xC2\xB4 --> enter FILE EXIT and "
                 "re-run program",
                 "No such file or directory"},
        // The limit that stopped the whole file lets the probe for a reason through.
        NoteCase{"FileSizeLimit", "", kSmallerThanOmrixDat,
                 "ERROR: Could not write file \xC2\xB4omrix.dat\xC2\xB4",
                 "the write failed, though the file can be written now (a full disk or a file "
                 "size limit at the time?)"}),
    [](const ::testing::TestParamInfo<NoteCase>& test) { return test.param.name; });

}  // namespace
}  // namespace omrix::cli::testing
