// omrixctl serve as its users run it: one session kept for the calls that come and go.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "running_tool.h"
#include "session/transport.h"
#include "support/files.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

using session::Channel;
using session::Message;

constexpr const char* kServing = "serving this board's session";

// A board set up and configured, and a host serving it; the host is stopped as a user would.
class Served : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(directory_.run({"-q", "setup"}).exitStatus, 0);
    ASSERT_EQ(directory_.run({"-q", "fpga", "demo.bit"}).exitStatus, 0);
  }
  void TearDown() override {
    if (!host_) return;
    EXPECT_EQ(directory_.run({"serve", "--stop"}).exitStatus, 0);
    EXPECT_EQ(host_->finish().exitStatus, 0);
  }

  void Serve(const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    host_.emplace(directory_, std::vector<std::string>{"serve"}, RunningTool::Input::Pipes,
                  environment);
    ASSERT_TRUE(host_->waitFor(kServing, RunningTool::Stream::Err));
  }

  std::string SocketPath() const {
    std::string problem;
    const std::string path = session::SocketPathFor(directory_.path(), problem);
    EXPECT_FALSE(path.empty()) << problem;
    return path;
  }

  LibraryDirectory directory_;
  std::optional<RunningTool> host_;
};

TEST_F(Served, SeparateCallsReadWhatTheScriptReads) {
  const ToolRun script = directory_.run({"-q", "script", "-"}, {}, "cpu run 1\nin 1\n");
  ASSERT_EQ(script.exitStatus, 0) << script.err;
  Serve();
  ASSERT_EQ(directory_.run({"-q", "cpu", "run", "1"}).exitStatus, 0);
  const ToolRun in = directory_.run({"-q", "in", "1"});
  EXPECT_EQ(in.exitStatus, 0) << in.err;
  EXPECT_EQ(in.out, script.out);
}

struct HostRule {
  std::vector<std::string> arguments;
  int exitStatus;
  std::string err;  // a part of stderr
};

class HostRules : public Served, public ::testing::WithParamInterface<HostRule> {};

TEST_P(HostRules, FollowTheHostsRules) {
  Serve();
  const ToolRun run = directory_.run(GetParam().arguments);
  EXPECT_EQ(run.exitStatus, GetParam().exitStatus) << run.out << run.err;
  EXPECT_NE(run.err.find(GetParam().err), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    ThroughAHost, HostRules,
    ::testing::Values(
        HostRule{{"--stop", "in", "1"}, 2, "'omrixctl serve --stop' ends it"},
        HostRule{{"--port-io", "ppdev", "in", "1"}, 2, "uses the port backend 'sim'"},
        // The host holds the port: a short session finds it busy, as any second program does.
        HostRule{{"--no-session", "in", "1"}, 5, "another program holds the port"},
        HostRule{{"serve"}, 1, "already holds this board"}, HostRule{{"-q", "start"}, 0, ""}),
    [](const ::testing::TestParamInfo<HostRule>& test) {
      return NameOfArguments(test.param.arguments);
    });

TEST_F(Served, StatusNamesTheHostAndStopEndsIt) {
  const ToolRun none = directory_.run({"status"});
  EXPECT_EQ(none.exitStatus, 1);
  EXPECT_NE(none.out.find("no session host"), std::string::npos) << none.out;
  Serve();
  const ToolRun held = directory_.run({"status"});
  EXPECT_EQ(held.exitStatus, 0) << held.err;
  EXPECT_NE(held.out.find(directory_.path()), std::string::npos) << held.out;
  const ToolRun second = directory_.run({"serve"});
  const std::size_t pid = held.out.find("pid ");
  ASSERT_NE(pid, std::string::npos);
  const std::string number = held.out.substr(pid, held.out.find(' ', pid + 4) - pid);
  EXPECT_NE(second.err.find("(" + number + ")"), std::string::npos) << second.err;
}

TEST_F(Served, ShellAndQuestionsUseTheClientsInput) {
  Serve();
  const ToolRun shell = directory_.run({"-q", "shell"}, {}, "s 1\n");
  EXPECT_EQ(shell.exitStatus, 0) << shell.err;
  EXPECT_EQ(shell.out, "Signal PPinit set, now at high level, default setting\n\n");
}

TEST_F(Served, OutlivesClientsThatLeaveOrSayNothing) {
  Serve();
  bool noHost = false;
  std::string problem;
  const session::UniqueFd silent = session::Connect(SocketPath(), noHost, problem);
  ASSERT_TRUE(silent) << problem;
  {
    RunningTool leaving(directory_, {"shell"}, RunningTool::Input::Pipes);
    ASSERT_TRUE(leaving.waitFor("test routines"));
    leaving.signal(SIGKILL);
  }
  const ToolRun in = directory_.run({"-q", "in", "1"});
  EXPECT_EQ(in.exitStatus, 0) << in.err;
  EXPECT_EQ(in.out, "00h read from address 01h\n");
}

// What a broken or foreign client gets back: refused with a reason, the host serving on.
struct BadClient {
  const char* name;
  std::string bytes;
  std::string reason;  // a part of the refusal
};

class BadClients : public Served, public ::testing::WithParamInterface<BadClient> {};

TEST_P(BadClients, AreRefusedAndTheHostServesOn) {
  Serve();
  bool noHost = false;
  std::string problem;
  session::UniqueFd fd = session::Connect(SocketPath(), noHost, problem);
  ASSERT_TRUE(fd) << problem;
  const std::string& bytes = GetParam().bytes;
  ASSERT_EQ(write(fd.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  Channel channel(std::move(fd));
  Message reply;
  Channel::Got got = Channel::Got::Nothing;
  while ((got = channel.Receive(reply, problem)) == Channel::Got::Nothing) {
    pollfd wait{channel.fd(), POLLIN, 0};
    poll(&wait, 1, -1);
  }
  ASSERT_EQ(got, Channel::Got::Ready) << problem;
  EXPECT_EQ(session::TypeOf(reply), "refused");
  EXPECT_NE(reply.value("text", std::string()).find(GetParam().reason), std::string::npos)
      << reply.dump();
  EXPECT_EQ(directory_.run({"status"}).exitStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, BadClients,
    ::testing::Values(
        BadClient{"Malformed", "{\"type\": \"run\"\n", "not a JSON object"},
        BadClient{"Oversized", std::string(session::kMaxMessageBytes + 1, 'x'), "longer than"},
        BadClient{"UnknownVersion", "{\"type\":\"run\",\"version\":99}\n", "version 99"},
        BadClient{"NoArguments", "{\"type\":\"run\",\"version\":1}\n", "without its arguments"}),
    [](const ::testing::TestParamInfo<BadClient>& test) { return test.param.name; });

TEST_F(Served, RefusesAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  // A socket anyone may reach, so only the host's own check stands in the other's way.
  const omrix::testing::TemporaryDirectory open;
  constexpr mode_t kEveryone = 0777;
  chmod(open.path().c_str(), kEveryone);
  const std::string socket = open.file("open.sock");
  Serve({{"OMRIX_SESSION", socket}});
  chmod(socket.c_str(), kEveryone);
  constexpr uid_t kNobody = 65534;
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    bool noHost = false;
    std::string problem;
    session::UniqueFd fd = session::Connect(socket, noHost, problem);
    if (!fd) _exit(3);
    Channel channel(std::move(fd));
    channel.Send({{"type", "status"}, {"version", session::kProtocolVersion}});
    Message reply;
    Channel::Got got = Channel::Got::Nothing;
    while ((got = channel.Receive(reply, problem)) == Channel::Got::Nothing) {
      pollfd wait{channel.fd(), POLLIN, 0};
      poll(&wait, 1, -1);
    }
    _exit(got == Channel::Got::Ready && session::TypeOf(reply) == "refused" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(directory_.run({"serve", "--stop"}, {{"OMRIX_SESSION", socket}}).exitStatus, 0);
  EXPECT_EQ(host_->finish().exitStatus, 0);
  host_.reset();
}

}  // namespace
}  // namespace omrix::cli::testing
