#include "client.h"

namespace omrix::cli {

namespace {

constexpr const char* kSessionOption = "--session";
constexpr const char* kNoSessionOption = "--no-session";

}  // namespace

std::string ReadSessionRequest(const std::vector<std::string>& arguments, SessionRequest& request) {
  request = SessionRequest{};
  std::string word;  // the first word that is no option's
  std::size_t wordAt = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--") {
      request.arguments.insert(request.arguments.end(), arguments.begin() + i, arguments.end());
      break;
    }
    if (argument == kNoSessionOption) {
      request.noSession = true;
      continue;
    }
    if (argument == kSessionOption || argument.rfind(std::string(kSessionOption) + "=", 0) == 0) {
      if (argument == kSessionOption && i + 1 >= arguments.size())
        return "'--session' needs a socket's path";
      request.socket = argument == kSessionOption
                           ? arguments[++i]
                           : argument.substr(std::string(kSessionOption).size() + 1);
      if (request.socket.empty()) return "'--session' needs a socket's path";
      continue;
    }
    if (word.empty() && !argument.empty() && argument[0] != '-') {
      word = argument;
      wordAt = request.arguments.size();
    }
    request.arguments.push_back(argument);
    // The backend's name is the option's, not a subcommand.
    if (argument == "--port-io" && i + 1 < arguments.size())
      request.arguments.push_back(arguments[++i]);
  }
  if (word == "serve" || word == "status") {
    request.arguments.erase(request.arguments.begin() + static_cast<long>(wordAt));
    request.kind = word == "serve" ? SessionRequest::Kind::Serve : SessionRequest::Kind::Status;
    if (word == "serve") request.arguments.push_back("start");
  }
  if (request.kind == SessionRequest::Kind::Status && !request.arguments.empty())
    return "'status' takes no arguments";
  return "";
}

}  // namespace omrix::cli
