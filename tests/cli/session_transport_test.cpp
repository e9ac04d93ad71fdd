// The session socket and its messages, without a board.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "client.h"
#include "session/transport.h"
#include "support/files.h"

namespace omrix::cli::testing {
namespace {

using session::MessageReader;

struct ReaderCase {
  const char* name;
  std::string bytes;
  MessageReader::Status status;
};

class Reader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(Reader, SplitsAndChecksMessages) {
  MessageReader reader;
  reader.Feed(GetParam().bytes.data(), GetParam().bytes.size());
  session::Message message;
  std::string problem;
  EXPECT_EQ(reader.Next(message, problem), GetParam().status) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Reader,
    ::testing::Values(ReaderCase{"Whole", "{\"type\":\"end\"}\n", MessageReader::Status::Ready},
                      ReaderCase{"Unfinished", "{\"type\":", MessageReader::Status::More},
                      ReaderCase{"NotJson", "type=end\n", MessageReader::Status::Malformed},
                      ReaderCase{"NoType", "[1,2]\n", MessageReader::Status::Malformed},
                      ReaderCase{"EndlessLine", std::string(session::kMaxMessageBytes, ' '),
                                 MessageReader::Status::Oversized},
                      ReaderCase{"LongLine", std::string(session::kMaxMessageBytes, ' ') + "\n",
                                 MessageReader::Status::Oversized}),
    [](const ::testing::TestParamInfo<ReaderCase>& test) { return test.param.name; });

TEST(Listener, ReplacesAKilledHostsSocketAndRefusesALiveOnesNamingItsPid) {
  const omrix::testing::TemporaryDirectory root;
  const std::string path = root.file("board.sock");
  {
    // A killed host's socket file: bound, then closed without removing it.
    session::UniqueFd dead(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(dead.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  std::string problem;
  const std::optional<session::Listener> first = session::Listener::Open(path, problem);
  ASSERT_TRUE(first) << problem;
  EXPECT_FALSE(session::Listener::Open(path, problem));
  EXPECT_NE(problem.find("(pid " + std::to_string(getpid()) + ")"), std::string::npos) << problem;
}

TEST(Listener, LeavesAFileInItsWayAlone) {
  const omrix::testing::TemporaryDirectory root;
  const std::string path = root.file("board.sock");
  std::ofstream(path) << "keep";
  std::string problem;
  EXPECT_FALSE(session::Listener::Open(path, problem));
  EXPECT_NE(problem.find("in the way"), std::string::npos) << problem;
  std::ifstream kept(path);
  std::string text;
  kept >> text;
  EXPECT_EQ(text, "keep");
}

TEST(SessionDirectory, IsRefusedWhenOthersCanEnterIt) {
  const omrix::testing::TemporaryDirectory root;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string previous = saved != nullptr ? saved : "";
  setenv("XDG_RUNTIME_DIR", root.file("").c_str(), 1);
  std::string problem;
  const std::string made = session::SessionDirectory(problem);
  struct stat status {};
  ASSERT_EQ(stat(made.c_str(), &status), 0) << problem;
  EXPECT_EQ(status.st_mode & 0777, 0700U);
  chmod(made.c_str(), 0755);
  EXPECT_EQ(session::SessionDirectory(problem), "");
  EXPECT_NE(problem.find("only this user can enter"), std::string::npos) << problem;
  if (saved != nullptr) {
    setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

struct RequestCase {
  std::vector<std::string> arguments;
  SessionRequest::Kind kind;
  bool noSession;
  std::string socket;
  std::vector<std::string> rest;  // what the subcommand parser then reads
};

class Requests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Requests, TakeTheSessionWordsOutOfTheArguments) {
  const RequestCase& c = GetParam();
  SessionRequest request;
  ASSERT_EQ(ReadSessionRequest(c.arguments, request), "");
  EXPECT_EQ(request.kind, c.kind);
  EXPECT_EQ(request.noSession, c.noSession);
  EXPECT_EQ(request.socket, c.socket);
  EXPECT_EQ(request.arguments, c.rest);
}

using Kind = SessionRequest::Kind;

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Requests,
    ::testing::Values(
        RequestCase{{"--no-session", "in", "1"}, Kind::Command, true, "", {"in", "1"}},
        RequestCase{
            {"--session", "/s", "-q", "in", "1"}, Kind::Command, false, "/s", {"-q", "in", "1"}},
        RequestCase{{"--session=/s", "status"}, Kind::Status, false, "/s", {}},
        // A backend's name is no subcommand, even one named like one.
        RequestCase{{"--port-io", "serve", "in", "1"},
                    Kind::Command,
                    false,
                    "",
                    {"--port-io", "serve", "in", "1"}},
        RequestCase{
            {"--port-io", "sim", "serve"}, Kind::Serve, false, "", {"--port-io", "sim", "start"}},
        RequestCase{{"serve", "--stop"}, Kind::Serve, false, "", {"--stop", "start"}},
        // A script's file named serve is a file.
        RequestCase{{"script", "serve"}, Kind::Command, false, "", {"script", "serve"}}));

}  // namespace
}  // namespace omrix::cli::testing
