#include "line_editor.h"

#include <langinfo.h>

#include <cerrno>
#include <cstdio>

#include "terminal_input.h"

namespace omrix::cli {

namespace {

constexpr int kHistorySize = 500;

// libedit's answers to a read: a character, or the end.
constexpr int kGotCharacter = 1;
constexpr int kEndOfInput = 0;

LineEditor* EditorOf(EditLine* editor) {
  void* self = nullptr;
  el_get(editor, EL_CLIENTDATA, &self);
  return static_cast<LineEditor*>(self);
}

}  // namespace

LineEditor::LineEditor(const char* prompt)
    : editor_(el_init("omrixctl", stdin, stdout, stderr)), history_(history_winit()) {
  for (const char* c = prompt; *c != '\0'; ++c) prompt_ += static_cast<wchar_t>(*c);
  HistEventW event;
  history_w(history_, &event, H_SETSIZE, kHistorySize);
  el_set(editor_, EL_CLIENTDATA, this);
  el_set(editor_, EL_EDITOR, "emacs");
  el_wset(editor_, EL_PROMPT, &LineEditor::Prompt);
  el_wset(editor_, EL_HIST, history_w, history_);
  el_wset(editor_, EL_GETCFN, &LineEditor::ReadCharacter);
  el_source(editor_,
            nullptr);  // the user's ~/.editrc, as other libedit programs read it
}

LineEditor::~LineEditor() {
  el_end(editor_);
  history_wend(history_);
}

wchar_t* LineEditor::Prompt(EditLine* editor) { return EditorOf(editor)->prompt_.data(); }

int LineEditor::ReadCharacter(EditLine* editor, wchar_t* character) {
  LineEditor* self = EditorOf(editor);
  TypedDecoder decoder;
  for (;;) {
    if (!WaitForInput(STDIN_FILENO)) return kEndOfInput;
    char byte = 0;
    const ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return kEndOfInput;  // a closed terminal reads as its end
    switch (decoder.Feed(byte, *character)) {
      case TypedDecoder::Step::Character: return kGotCharacter;
      case TypedDecoder::Step::More: break;
      // libedit would drop it silently and run what is left: remember it to
      // refuse the line.
      case TypedDecoder::Step::Invalid: self->damaged_ = true; break;
    }
  }
}

std::optional<std::string> LineEditor::ReadLine(std::string& problem) {
  damaged_ = false;
  problem.clear();
  int count = 0;
  const wchar_t* typed = el_wgets(editor_, &count);
  if (typed == nullptr || count <= 0 || PendingSignal() != 0) return std::nullopt;
  std::size_t length = static_cast<std::size_t>(count);
  if (typed[length - 1] == L'\n') --length;
  std::string line;
  if (damaged_ || !EncodeTyped(typed, length, line)) {
    problem = std::string(
                  "this line was not run: it holds bytes that are no "
                  "characters in the "
                  "terminal's encoding (") +
              nl_langinfo(CODESET) + ") --> set LC_CTYPE or LANG to the terminal's locale";
    return line;
  }
  problem = LineProblem(line);
  return line;
}

void LineEditor::Remember(const std::string& line) {
  std::wstring characters;
  TypedDecoder decoder;
  for (const char byte : line) {
    wchar_t character = 0;
    if (decoder.Feed(byte, character) == TypedDecoder::Step::Character) characters += character;
  }
  HistEventW event;
  history_w(history_, &event, H_ENTER, characters.c_str());
}

}  // namespace omrix::cli
