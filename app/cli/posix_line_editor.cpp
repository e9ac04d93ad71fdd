#include <histedit.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdio>

#include "line_editor.h"
#include "terminal_input.h"

namespace omrix::cli {

namespace {

constexpr int kHistorySize = 500;

// libedit's answers to a read: a character, or the end.
constexpr int kGotCharacter = 1;
constexpr int kEndOfInput = 0;

}  // namespace

struct LineEditor::Impl {
  explicit Impl(const char* prompt)
      : editor(el_init("omrixctl", stdin, stdout, stderr)), history(history_winit()) {
    for (const char* c = prompt; *c != '\0'; ++c) promptText += static_cast<wchar_t>(*c);
    HistEventW event;
    history_w(history, &event, H_SETSIZE, kHistorySize);
    el_set(editor, EL_CLIENTDATA, this);
    el_set(editor, EL_EDITOR, "emacs");
    el_wset(editor, EL_PROMPT, &Impl::Prompt);
    el_wset(editor, EL_HIST, history_w, history);
    el_wset(editor, EL_GETCFN, &Impl::ReadCharacter);
    el_source(editor, nullptr);  // the user's ~/.editrc, as other libedit programs read it
  }
  ~Impl() {
    el_end(editor);
    history_wend(history);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  static Impl* Of(EditLine* editLine) {
    void* self = nullptr;
    el_get(editLine, EL_CLIENTDATA, &self);
    return static_cast<Impl*>(self);
  }

  static wchar_t* Prompt(EditLine* editLine) { return Of(editLine)->promptText.data(); }

  static int ReadCharacter(EditLine* editLine, wchar_t* character) {
    Impl* self = Of(editLine);
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
        // libedit would drop it silently and run what is left: remember it to refuse the line.
        case TypedDecoder::Step::Invalid: self->damaged = true; break;
      }
    }
  }

  std::wstring promptText;
  EditLine* editor;
  HistoryW* history;
  bool damaged = false;  // a typed byte was no character of the terminal's encoding
};

LineEditor::LineEditor(const char* prompt) : impl_(std::make_unique<Impl>(prompt)) {}

LineEditor::~LineEditor() = default;

std::optional<std::string> LineEditor::ReadLine(std::string& problem) {
  impl_->damaged = false;
  problem.clear();
  int count = 0;
  const wchar_t* typed = el_wgets(impl_->editor, &count);
  if (typed == nullptr || count <= 0 || PendingSignal() != 0) return std::nullopt;
  std::size_t length = static_cast<std::size_t>(count);
  if (typed[length - 1] == L'\n') --length;
  std::string line;
  if (impl_->damaged || !EncodeTyped(typed, length, line)) {
    problem = std::string(
                  "this line was not run: it holds bytes that are no characters in the "
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
  history_w(impl_->history, &event, H_ENTER, characters.c_str());
}

}  // namespace omrix::cli
