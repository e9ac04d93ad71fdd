// What the commands need of a front end: somewhere to show text, and a person to ask.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace omrix::commands {

class Output {
 public:
  virtual ~Output() = default;
  // 8-bit text exactly as the program and the library produce it (Windows-1252, file names
  // as the bytes the user chose); the front end decodes it with PeopleText.
  virtual void AppendOutput(const std::string& text) = 0;
};

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { Exclamation, Question, Information };
enum class Answer { Ok, Cancel, Yes, No };

struct FileType {
  std::string description;  // e.g. "CPU program file (*.bin)"
  std::string pattern;      // e.g. "*.bin"
};

struct FileChooser {
  enum class Kind { Open, Save };
  Kind kind = Kind::Open;
  std::string title;
  std::vector<FileType> types;  // the first one's extension is added to a bare name
  std::string initialName;      // e.g. "*.bin"
};

// The window a loop shows while it runs until the person stops it.
class Progress {
 public:
  virtual ~Progress() = default;  // closes the window
  virtual void StepIt() = 0;      // moves the bar one step
  // Whether a stop was asked for since the last call; a request is reported once.
  virtual bool CheckCancel() = 0;
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // The box is captioned "omrix" by the front end.
  virtual Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) = 0;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> ChooseFile(const FileChooser& chooser) = 0;
  // The short sound that answers a command the test routines do not know.
  virtual void Beep() = 0;
  // Shown until the object goes.
  virtual std::unique_ptr<Progress> ShowProgress() = 0;
};

}  // namespace omrix::commands
