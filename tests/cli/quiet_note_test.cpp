// -q keeps the note that places a library error: its full path and the system's reason. The
// file size limit that makes a write fail is Linux's.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "support/environment.h"
#include "tool_runner.h"

namespace omrix::cli::testing {

using omrix::testing::FileSizeLimit;
namespace {

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
