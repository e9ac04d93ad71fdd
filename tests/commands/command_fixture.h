// The menu commands against the library's own code on a simulated board, with a person
// scripted: every library call is recorded as it passes.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "commands/menu_commands.h"
#include "support/library_fixture.h"

namespace omrix::commands::testing {

class RecordedOutput final : public Output {
 public:
  void AppendOutput(const std::string& text) override { text_ += text; }
  std::string text_;
};

class ScriptedPrompts final : public Prompts {
 public:
  Answer MessageBox(const std::string& text, Buttons buttons, Icon) override;
  std::optional<std::string> ChooseFile(const FileChooser& chooser) override;

  std::deque<Answer> answers;                     // Ok when none is left
  std::deque<std::optional<std::string>> files;   // cancel when none is left
  std::vector<std::string> boxes;                 // the texts shown
  std::vector<std::string> choosers;              // the titles shown
};

// The exports as the shared library has them, taken from its code in this process, each call
// written to `calls` as "Name(arguments)" before it runs.
Library RecordingLibrary(std::vector<std::string>& calls);

class CommandTest : public omrix::testing::LibraryTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Brings the driver up and sets up the board at 0x378; the calls so far are forgotten.
  void SetUpBoard();
  std::string Staged(const std::string& name) const { return Directory() + name; }

  std::vector<std::string> calls_;
  RecordedOutput output_;
  ScriptedPrompts prompts_;
  std::optional<MenuCommands> commands_;
};

}  // namespace omrix::commands::testing
