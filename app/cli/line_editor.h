// The shell's prompt on a terminal. On a POSIX terminal libedit edits the line and keeps its
// history, the bytes read by omrixctl itself, so a signal ends the wait and a line is never cut
// or run past its end; a Windows console edits the line itself.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace omrix::cli {

class LineEditor {
 public:
  explicit LineEditor(const char* prompt);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // A typed line without its line end, or nothing at the end of the input or on a signal.
  // `problem` says why the line must not run ("" when it may).
  std::optional<std::string> ReadLine(std::string& problem);
  void Remember(const std::string& line);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace omrix::cli
