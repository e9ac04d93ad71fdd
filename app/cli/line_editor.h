// The shell's prompt on a terminal: line editing and history by libedit, the
// bytes read by omrixctl itself, so a signal ends the wait and a line is never
// cut or run past its end.
#pragma once

#include <histedit.h>

#include <optional>
#include <string>

namespace omrix::cli {

class LineEditor {
 public:
  explicit LineEditor(const char* prompt);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // A typed line without its line end, or nothing at the end of the input or on
  // a signal. `problem` says why the line must not run ("" when it may).
  std::optional<std::string> ReadLine(std::string& problem);
  void Remember(const std::string& line);

 private:
  static int ReadCharacter(EditLine* editor, wchar_t* character);
  static wchar_t* Prompt(EditLine* editor);

  std::wstring prompt_;
  EditLine* editor_;
  HistoryW* history_;
  bool damaged_ = false;  // a typed byte was no character of the terminal's encoding
};

}  // namespace omrix::cli
