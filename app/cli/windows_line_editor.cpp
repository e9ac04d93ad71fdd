#include <cstdio>

#include "console_input.h"
#include "line_editor.h"

namespace omrix::cli {

// The console edits the line and keeps its history (the arrow keys, F7) by itself.
struct LineEditor::Impl {
  std::string prompt;
};

LineEditor::LineEditor(const char* prompt) : impl_(std::make_unique<Impl>(Impl{prompt})) {}

LineEditor::~LineEditor() = default;

std::optional<std::string> LineEditor::ReadLine(std::string& problem) {
  std::fputs(impl_->prompt.c_str(), stdout);
  std::fflush(stdout);
  std::optional<std::string> line = ReadInputLine();
  problem = line ? LineProblem(*line) : "";
  return line;
}

void LineEditor::Remember(const std::string&) {}

}  // namespace omrix::cli
