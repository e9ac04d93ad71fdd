// Windows has no session hosts: every invocation runs a session of its own, and the words and
// options that concern a host say so instead of doing half of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

const std::string kNoSessions = "session hosts need Linux";

struct HostRequest {
  const char* name;
  std::vector<std::string> arguments;
  int exitStatus;
};

class WithoutSessionHosts : public ::testing::TestWithParam<HostRequest> {};

TEST_P(WithoutSessionHosts, SayWhyAndTouchNoBoard) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run(GetParam().arguments);
  EXPECT_EQ(run.exitStatus, GetParam().exitStatus);
  EXPECT_NE(run.err.find(kNoSessions), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "") << "a session was started";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, WithoutSessionHosts,
    ::testing::Values(HostRequest{"Serve", {"serve"}, 1}, HostRequest{"Status", {"status"}, 1},
                      HostRequest{"StopHost", {"serve", "--stop"}, 1},
                      HostRequest{"NamedSocket", {"--session", "x", "start"}, 2}),
    [](const ::testing::TestParamInfo<HostRequest>& test) { return std::string(test.param.name); });

// A script written for Linux that asks for a session of its own gets one.
TEST(WithoutSessionHosts, NoSessionRunsTheCommand) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const ToolRun run = directory.run({"--no-session", "-q", "in", "0"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "FFh read from address 00h\n");
}

}  // namespace
}  // namespace omrix::cli::testing
