// The menu commands against the library's own code on a simulated board, with a person
// scripted: every library call is recorded as it passes.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
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

// Simulated time for the waiting loop, so no test sleeps.
struct TestClock {
  std::chrono::milliseconds now{0};
  std::chrono::milliseconds cancelAt =
      std::chrono::milliseconds::max();  // the person presses Escape
};

class ScriptedPrompts final : public Prompts {
 public:
  Answer MessageBox(const std::string& text, Buttons buttons, Icon) override;
  std::optional<std::string> ChooseFile(const FileChooser& chooser) override;
  void Beep() override { beeps.push_back(OutputSize()); }
  std::unique_ptr<Progress> ShowProgress() override;

  std::deque<Answer> answers;                    // Ok when none is left
  std::deque<std::optional<std::string>> files;  // cancel when none is left
  std::vector<std::string> boxes;                // the texts shown
  std::vector<std::string> choosers;             // the titles shown
  std::function<void()> whileBoxIsOpen;          // looks at the board meanwhile
  std::vector<std::size_t> beeps;                // how much output there was at each
  // Per window shown: the output's size at each step of its bar.
  std::vector<std::vector<std::size_t>> barSteps;
  TestClock clock;
  const RecordedOutput* output = nullptr;

 private:
  std::size_t OutputSize() const { return output != nullptr ? output->text_.size() : 0; }
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
