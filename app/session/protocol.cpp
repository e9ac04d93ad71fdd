#include "protocol.h"

namespace omrix::session {

std::string Encode(const Message& message) {
  constexpr int kCompact = -1;
  return message.dump(kCompact, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string TypeOf(const Message& message) {
  if (!message.is_object()) return "";
  const auto type = message.find("type");
  return type != message.end() && type->is_string() ? type->get<std::string>() : "";
}

std::string VersionProblem(const Message& first) {
  const auto version = first.is_object() ? first.find("version") : first.end();
  if (version == first.end() || !version->is_number_integer())
    return "the first message names no protocol version";
  if (version->get<long long>() != kProtocolVersion)
    return "protocol version " + version->dump() + " is not this host's (" +
           std::to_string(kProtocolVersion) + ")";
  return "";
}

void MessageReader::Feed(const char* data, std::size_t size) { buffer_.append(data, size); }

MessageReader::Status MessageReader::Next(Message& message, std::string& problem) {
  const std::size_t end = buffer_.find('\n');
  if (end == std::string::npos) {
    if (buffer_.size() < kMaxMessageBytes) return Status::More;
    problem = "a message longer than " + std::to_string(kMaxMessageBytes) + " bytes";
    return Status::Oversized;
  }
  if (end + 1 > kMaxMessageBytes) {
    problem = "a message longer than " + std::to_string(kMaxMessageBytes) + " bytes";
    return Status::Oversized;
  }
  const std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  message = Message::parse(line, nullptr, false);
  if (message.is_discarded() || !message.is_object() || TypeOf(message).empty()) {
    problem = "a message that is not a JSON object with a type";
    return Status::Malformed;
  }
  return Status::Ready;
}

}  // namespace omrix::session
