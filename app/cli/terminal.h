// A session's terminal in the places of the program's output window, message boxes, file
// choosers and progress window.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "commands/seams.h"

namespace omrix::cli {

// The output window on stdout. Quiet, a successful command prints only what was asked for:
// the answers of in, out, init and ack, and the rates; errors and warnings always print.
class TerminalOutput final : public commands::Output {
 public:
  explicit TerminalOutput(bool quiet) : quiet_(quiet) {}
  ~TerminalOutput() override;
  TerminalOutput(const TerminalOutput&) = delete;
  TerminalOutput& operator=(const TerminalOutput&) = delete;

  // A line that is itself the answer (a register read, a line level): shown even when quiet.
  void AppendResult(const std::string& text);

  void AppendOutput(const std::string& text) override;

  // A host's session serves quiet and talkative clients alike.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // Shows what is held of an unfinished line, so none of it reaches the next client.
  void Flush();

  // The measured rates are the answer of the rate command.
  bool ratesAsked = false;
  // The shell's answers are its results, every one of them.
  bool everything = false;
  // The library found the port held by another program.
  bool portBusy = false;
  // Nothing at all is shown, not even a problem that is expected.
  bool muted = false;

 private:
  void ShowIfWanted(const std::string& line) const;

  bool quiet_;
  std::string line_;
};

// The waiting loop on a terminal: Enter or the end of the input stops it, and a signal that
// ends the session stops it at once. Its lines are the terminal's sign that it goes on; there
// is no bar to move.
class TerminalProgress final : public commands::Progress {
 public:
  TerminalProgress();
  void StepIt() override {}
  bool CheckCancel() override;
};

// A shell has no boxes and no choosers: a box's text goes to stderr and, unless the command
// asks the person, takes its default; the chooser answers with the file named on the command
// line. Asking, a question is answered y or n and an information box is closed by Enter.
class TerminalPrompts final : public commands::Prompts {
 public:
  commands::Answer MessageBox(const std::string& text, commands::Buttons buttons,
                              commands::Icon icon) override;
  std::optional<std::string> ChooseFile(const commands::FileChooser& chooser) override;
  void Beep() override;
  std::unique_ptr<commands::Progress> ShowProgress() override;

  std::optional<std::string> file;
  bool muted = false;
  bool interactive = false;  // the command asks the person at the terminal
  bool unanswered = false;   // a question got no answer and was taken as No
};

}  // namespace omrix::cli
