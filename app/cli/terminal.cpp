#include "terminal.h"

#include <cstdio>
#include <sstream>
#include <utility>

#include "commands/library_files.h"
#include "console.h"
#include "console_input.h"
#include "system.h"

namespace omrix::cli {

namespace {

using commands::Answer;
using commands::Buttons;

// The library's line names the port and, where it can, the holder after this.
constexpr const char* kPortBusy = "is in use by another program";
const std::string kRateLine = "PC -> mm-bus: ";
const std::string kRateBackLine = "PC <- mm-bus: ";

// No when nobody answers (the input ends, or a signal ends the session), with `unanswered`.
Answer AskYesNo(bool& unanswered) {
  for (;;) {
    Complain("answer y or n:");
    const std::optional<std::string> answer = ReadAnswer();
    if (!answer || PendingSignal() != 0) {
      unanswered = true;
      return Answer::No;  // nobody there to say yes
    }
    if (*answer == "y" || *answer == "Y" || *answer == "yes") return Answer::Yes;
    if (*answer == "n" || *answer == "N" || *answer == "no") return Answer::No;
  }
}

}  // namespace

TerminalOutput::~TerminalOutput() { Flush(); }

void TerminalOutput::Flush() {
  if (!line_.empty()) ShowIfWanted(line_);
  line_.clear();
}

void TerminalOutput::AppendResult(const std::string& text) {
  if (!quiet_) AppendOutput("\n");
  Show(text);
}

void TerminalOutput::AppendOutput(const std::string& text) {
  if (text.find(kPortBusy) != std::string::npos) portBusy = true;
  if (muted) return;
  if (!quiet_ || everything) {
    Show(text);
    return;
  }
  for (const char c : text) {
    line_ += c;
    if (c != '\n') continue;
    ShowIfWanted(line_);
    line_.clear();
  }
}

void TerminalOutput::ShowIfWanted(const std::string& line) const {
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return;
  const std::string text = line.substr(start);
  const bool problem = text.find("ERROR") != std::string::npos ||
                       text.find("WARNING") != std::string::npos ||
                       commands::IsUnplacedFileNote(text);
  const bool rate = ratesAsked && (text.compare(0, kRateLine.size(), kRateLine) == 0 ||
                                   text.compare(0, kRateBackLine.size(), kRateBackLine) == 0);
  if (problem || rate) Show(text);
}

TerminalProgress::TerminalProgress() { Complain("press Enter to stop"); }

bool TerminalProgress::CheckCancel() { return PendingSignal() != 0 || StopAsked(); }

Answer TerminalPrompts::MessageBox(const std::string& text, Buttons buttons, commands::Icon icon) {
  std::istringstream lines(text);
  for (std::string line; !muted && std::getline(lines, line);)
    if (!line.empty()) Complain(line);
  if (interactive && buttons == Buttons::YesNo) return AskYesNo(unanswered);
  if (interactive && icon == commands::Icon::Information) {
    Complain("press Enter for OK");
    ReadAnswer();
    return Answer::Ok;
  }
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return Answer::Cancel;
    case Buttons::YesNo: return Answer::No;
  }
  return Answer::Ok;
}

std::optional<std::string> TerminalPrompts::ChooseFile(const commands::FileChooser&) {
  return std::exchange(file, std::nullopt);
}

void TerminalPrompts::Beep() {
  if (CurrentRemote() == nullptr && ErrorsGoToTerminal()) std::fputs("\a", stderr);
}

std::unique_ptr<commands::Progress> TerminalPrompts::ShowProgress() {
  return std::make_unique<TerminalProgress>();
}

}  // namespace omrix::cli
