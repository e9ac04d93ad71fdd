// How a session ends, seen at the library's exports: every path releases the device once
// and closes the driver once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "session.h"
#include "support/environment.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

// A library that records the calls that bring the session up and end it; every other export
// would be a fault here.
commands::Library EndRecordingLibrary(std::int32_t startResult, std::vector<std::string>& calls) {
  commands::Library library;
  library.HwaccInit_EnableDllMessages = [&calls](MessageFunction) {
    calls.push_back("HwaccInit_EnableDllMessages");
    return 1;
  };
  library.InterpreteOmrixDat = [&calls, startResult] {
    calls.push_back("InterpreteOmrixDat");
    return startResult;
  };
  library.DeInitOmrix = [&calls](std::int32_t mode) {
    calls.push_back("DeInitOmrix(" + std::to_string(mode) + ")");
    return 0;
  };
  library.HwaccDeInit = [&calls] {
    calls.push_back("HwaccDeInit");
    return 1;
  };
  return library;
}

struct FactoryEnd {
  const char* name;
  std::int32_t startResult;
  const char* release;
};

class DeviceRelease : public ::testing::TestWithParam<FactoryEnd> {};

TEST_P(DeviceRelease, ReleasesTheDeviceOnce) {
  const LibraryDirectory directory;
  omrix::testing::SetEnvironment("OMRIX_LIBRARY_DIR", directory.path().c_str());
  std::vector<std::string> calls;
  const ParseOutcome start = ParseCommandLine({"start"});
  ASSERT_TRUE(start.ok);
  EXPECT_EQ(RunSession(start.invocation, EndRecordingLibrary(GetParam().startResult, calls)),
            kFactoryPath);
  EXPECT_EQ(calls, (std::vector<std::string>{"HwaccInit_EnableDllMessages", "InterpreteOmrixDat",
                                             GetParam().release, "HwaccDeInit"}));
  omrix::testing::SetEnvironment("OMRIX_LIBRARY_DIR", nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    FactoryPaths, DeviceRelease,
    ::testing::Values(FactoryEnd{"IdentifierCodes", OMRIX_START_CODES_PROGRAMMED, "DeInitOmrix(0)"},
                      FactoryEnd{"Jtag", OMRIX_START_JTAG_PREPARED, "DeInitOmrix(2)"}),
    [](const ::testing::TestParamInfo<FactoryEnd>& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace omrix::cli::testing
