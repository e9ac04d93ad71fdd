#include "console.h"

#include <cstdio>

#include "commands/people_text.h"
#include "console_input.h"

namespace omrix::cli {

namespace {

thread_local RemoteTerminal* remoteTerminal = nullptr;

}  // namespace

RemoteScope::RemoteScope(RemoteTerminal& remote) : previous_(remoteTerminal) {
  remoteTerminal = &remote;
}

RemoteScope::~RemoteScope() { remoteTerminal = previous_; }

RemoteTerminal* CurrentRemote() { return remoteTerminal; }

void Show(const std::string& text) {
  const std::string shown = commands::PeopleText(text);
  if (remoteTerminal != nullptr) return remoteTerminal->Show(shown);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
}

void Complain(const std::string& text) {
  const std::string line = "omrixctl: " + commands::PeopleText(text) + "\n";
  if (remoteTerminal != nullptr) return remoteTerminal->Complain(line);
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::optional<std::string> ReadAnswer(const std::string& prompt) {
  if (remoteTerminal != nullptr) return remoteTerminal->ReadLine(prompt);
  return ReadInputLine();
}

bool StopAsked() {
  if (remoteTerminal != nullptr) return remoteTerminal->StopAsked();
  if (!InputWaiting()) return false;
  ReadInputLine();
  return true;
}

}  // namespace omrix::cli
