// The Windows side of omrixctl's input and system: the console's control events in place of
// signals, and reads that give way to them.
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "console_input.h"
#include "system.h"

namespace omrix::cli {

namespace {

// The numbers a POSIX shell would report for the same ending: Ctrl-C is SIGINT, Ctrl-Break
// the C runtime's SIGBREAK, a closed console what a hung-up terminal sends.
constexpr int kInterrupt = SIGINT;
constexpr int kBreak = SIGBREAK;
constexpr int kHangUp = 1;
// A pipe cannot be waited for: how often it is looked at while nothing else wakes the wait.
constexpr DWORD kPipeLookMilliseconds = 20;
// A console read cut short by Ctrl-C returns before the handler's thread has recorded it.
constexpr DWORD kHandlerGraceMilliseconds = 1000;
// The console waits this long for a handler of its closing before it ends the process itself.
constexpr DWORD kClosingMilliseconds = 4000;
constexpr const char* kEndOfFile = "\x1A";

std::atomic<int> pendingSignal{0};

// The session's thread, which a control event cuts out of a console read. It is offered only
// while it reads the console: cancelled anywhere else, a write to a full pipe would lose output.
// The lock keeps the handle open and the read unfinished while the handler cancels it.
std::mutex readerLock;
HANDLE sessionThread = nullptr;
bool readingConsole = false;

// The session's thread offered for cancelling while it lives.
class ConsoleRead {
 public:
  ConsoleRead() {
    const std::lock_guard<std::mutex> hold(readerLock);
    readingConsole = true;
  }
  ~ConsoleRead() {
    const std::lock_guard<std::mutex> hold(readerLock);
    readingConsole = false;
  }
  ConsoleRead(const ConsoleRead&) = delete;
  ConsoleRead& operator=(const ConsoleRead&) = delete;
};

// An event, closed when it goes.
class Event {
 public:
  Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Set when an ending signal arrives: every wait here also waits for it.
HANDLE Wake() {
  static const Event wake;
  return wake.get();
}

// Set when the session has ended in order, which a closing console waits for.
HANDLE Ended() {
  static const Event ended;
  return ended.get();
}

BOOL WINAPI RecordControl(DWORD type) {
  int signal = kInterrupt;
  switch (type) {
    case CTRL_C_EVENT: signal = kInterrupt; break;
    case CTRL_BREAK_EVENT: signal = kBreak; break;
    default: signal = kHangUp; break;
  }
  int none = 0;
  pendingSignal.compare_exchange_strong(none, signal);
  SetEvent(Wake());
  // A console read ends at Ctrl-C on Windows by itself, not always under wine.
  {
    const std::lock_guard<std::mutex> hold(readerLock);
    if (readingConsole && sessionThread != nullptr) CancelSynchronousIo(sessionThread);
  }
  // Returning lets the system end the process at once: the board is left in order first.
  if (signal == kHangUp) WaitForSingleObject(Ended(), kClosingMilliseconds);
  return TRUE;
}

HANDLE Input() { return GetStdHandle(STD_INPUT_HANDLE); }

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool IsPipe(HANDLE handle) { return GetFileType(handle) == FILE_TYPE_PIPE; }

// Bytes waiting in the pipe, or its end; false when it is open and empty.
bool PipeReady(HANDLE pipe) {
  DWORD available = 0;
  return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available > 0;
}

// Whether a typed line is complete in the console's input: Enter was pressed.
bool ConsoleLineTyped(HANDLE console) {
  DWORD count = 0;
  if (!GetNumberOfConsoleInputEvents(console, &count) || count == 0) return false;
  std::vector<INPUT_RECORD> records(count);
  DWORD got = 0;
  if (!PeekConsoleInputA(console, records.data(), count, &got)) return false;
  for (DWORD i = 0; i < got; ++i) {
    const INPUT_RECORD& record = records[i];
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN)
      return true;
  }
  return false;
}

bool Signalled(DWORD waited) { return waited == WAIT_OBJECT_0 || pendingSignal != 0; }

}  // namespace

struct SessionSignals::Previous {};

SessionSignals::SessionSignals() {
  pendingSignal = 0;
  ResetEvent(Wake());
  ResetEvent(Ended());
  HANDLE thread = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0,
                      FALSE, DUPLICATE_SAME_ACCESS)) {
    const std::lock_guard<std::mutex> hold(readerLock);
    sessionThread = thread;
  }
  SetConsoleCtrlHandler(&RecordControl, TRUE);
}

SessionSignals::~SessionSignals() {
  SetConsoleCtrlHandler(&RecordControl, FALSE);
  {
    // A handler still running finds no thread rather than a closed handle.
    const std::lock_guard<std::mutex> hold(readerLock);
    if (sessionThread != nullptr) CloseHandle(std::exchange(sessionThread, nullptr));
  }
  SetEvent(Ended());
}

int PendingSignal() { return pendingSignal; }

void SleepUnlessSignalled(int milliseconds) {
  if (pendingSignal != 0) return;
  WaitForSingleObject(Wake(), static_cast<DWORD>(milliseconds));
}

std::optional<std::string> ReadInputLine() {
  const HANDLE input = Input();
  const bool console = IsConsole(input);
  const bool pipe = !console && IsPipe(input);
  std::string line;
  for (;;) {
    if (pendingSignal != 0) return std::nullopt;
    while (pipe && !PipeReady(input)) {
      if (Signalled(WaitForSingleObject(Wake(), kPipeLookMilliseconds))) return std::nullopt;
    }
    if (console && line.empty()) {
      const HANDLE either[] = {Wake(), input};
      if (Signalled(WaitForMultipleObjects(2, either, FALSE, INFINITE))) return std::nullopt;
    }
    char c = 0;
    DWORD got = 0;
    bool read = false;
    if (console) {
      const ConsoleRead cancellable;
      // A Ctrl-C handled before the thread was offered has set the flag instead.
      read = pendingSignal == 0 && ReadFile(input, &c, 1, &got, nullptr) != 0;
    } else {
      read = ReadFile(input, &c, 1, &got, nullptr) != 0;
    }
    // Ctrl-C ends a console's read with nothing, as Ctrl-Z and Enter end its input.
    if (console && got == 0 && Signalled(WaitForSingleObject(Wake(), kHandlerGraceMilliseconds)))
      return std::nullopt;
    if (!read || got == 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // the system's line end
      // Ctrl-Z and Enter: the console's end of input.
      if (console && line == kEndOfFile) return std::nullopt;
      return line;
    }
    line += c;
  }
}

bool InputWaiting() {
  const HANDLE input = Input();
  if (IsConsole(input)) return ConsoleLineTyped(input);
  if (IsPipe(input)) return PipeReady(input);
  return true;  // a file or a device reads at once
}

bool InputIsTerminal() { return IsConsole(Input()); }

bool ErrorsGoToTerminal() { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }

const char* EndOfInputKeys() { return "Ctrl-Z and Enter"; }

const char* EndingSignalNames() { return "a closed console 1, Ctrl-C 2, Ctrl-Break 21"; }

const char* PortAccessHint() {
  return "port access needs PORTGATE.sys beside the program and, once, administrator rights "
         "(--port-io portgate), or the simulated board (--port-io sim)";
}

void SetEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

// The console's code pages as they were found: output is shown as the UTF-8 omrixctl writes,
// typed names arrive in the code page the library's file calls take.
struct StandardStreams::Saved {
  UINT output = 0;
  UINT input = 0;
};

StandardStreams::StandardStreams() : saved_(std::make_unique<Saved>()) {
  // A script read from the standard input keeps its bytes: 0x1A does not end it.
  _setmode(_fileno(stdin), _O_BINARY);
  saved_->output = GetConsoleOutputCP();
  saved_->input = GetConsoleCP();
  if (saved_->output != 0) SetConsoleOutputCP(CP_UTF8);
  if (saved_->input != 0) SetConsoleCP(GetACP());
}

StandardStreams::~StandardStreams() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (saved_->output != 0) SetConsoleOutputCP(saved_->output);
  if (saved_->input != 0) SetConsoleCP(saved_->input);
}

}  // namespace omrix::cli
