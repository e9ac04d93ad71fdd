// omrixctl kept running on pipes under Windows, on a console that the test shares with it alone,
// so that the test can press Ctrl-C there.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <stdexcept>

#include "running_tool.h"
#include "windows_tool_process.h"

namespace omrix::cli::testing {

namespace {

// A safety net against a hanging tool, never a measure of speed: a test fails instead of
// waiting for ever.
constexpr DWORD kLookMilliseconds = 20;
constexpr int kSilentLooksAllowed = 6000;
constexpr DWORD kEndingMilliseconds = 120000;
constexpr std::size_t kChunk = 4096;
// What the pipe from the tool's standard output holds before a write waits for the reader.
constexpr DWORD kOutputPipeBytes = 4096;

HANDLE ProcessOf(std::intptr_t child) { return reinterpret_cast<HANDLE>(child); }
HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

void CloseIfOpen(int& fd) {
  if (fd >= 0) _close(fd);
  fd = -1;
}

// A pipe whose one end the child inherits; the other end, this process's, as a C runtime
// descriptor.
struct Pipe {
  HANDLE child = nullptr;
  int ours = -1;
};

Pipe MakePipe(bool childReads, DWORD bytes = 0) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherited, bytes)) throw std::runtime_error("CreatePipe failed");
  HANDLE ours = childReads ? write : read;
  SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
  return Pipe{childReads ? read : write,
              _open_osfhandle(reinterpret_cast<std::intptr_t>(ours),
                              (childReads ? _O_WRONLY : _O_RDONLY) | _O_BINARY)};
}

// Set when the console has handed this process the key it sends to the tool as well.
HANDLE KeyDelivered() {
  static const HANDLE delivered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return delivered;
}

BOOL WINAPI LetPass(DWORD) {
  SetEvent(KeyDelivered());
  return TRUE;
}

// Ctrl-C reaches every process of a console: the test gets a console of its own, which only its
// tools share, and lets the key pass by itself. Its standard streams stay where they were.
void OwnConsole() {
  static const bool owned = [] {
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = GetStdHandle(streams[i]);
    FreeConsole();
    const bool made = AllocConsole() != 0;
    for (int i = 0; i < 3; ++i) SetStdHandle(streams[i], saved[i]);
    SetConsoleCtrlHandler(&LetPass, TRUE);
    return made;
  }();
  if (!owned) throw std::runtime_error("no console of its own for the test");
}

}  // namespace

int InterruptSignal() { return SIGINT; }

std::vector<int> EndingSignals() { return {SIGINT}; }

bool PseudoTerminals() { return false; }

RunningTool::RunningTool(const LibraryDirectory& directory,
                         const std::vector<std::string>& arguments, Input input,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
  if (input != Input::Pipes) throw std::runtime_error("no pseudo-terminal on Windows");
  OwnConsole();
  std::string commandLine = ToolCommandLine(arguments);
  std::string block = EnvironmentBlock(directory.environmentFor(environment));
  const Pipe in = MakePipe(true), out = MakePipe(false, kOutputPipeBytes), err = MakePipe(false);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.child;
  startup.hStdOutput = out.child;
  startup.hStdError = err.child;
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, block.data(),
                     directory.path().c_str(), &startup, &process) != 0;
  for (const HANDLE end : {in.child, out.child, err.child}) CloseHandle(end);
  input_ = in.ours;
  out_ = out.ours;
  err_ = err.ours;
  if (!started) throw std::runtime_error("CreateProcess failed: " + std::to_string(GetLastError()));
  CloseHandle(process.hThread);
  child_ = reinterpret_cast<std::intptr_t>(process.hProcess);
}

RunningTool::~RunningTool() {
  CloseIfOpen(input_);
  CloseIfOpen(out_);
  CloseIfOpen(err_);
  if (child_ != -1) {
    TerminateProcess(ProcessOf(child_), 1);
    WaitForSingleObject(ProcessOf(child_), INFINITE);
    CloseHandle(ProcessOf(child_));
  }
}

void RunningTool::type(const std::string& text) {
  if (_write(input_, text.data(), static_cast<unsigned>(text.size())) ==
      static_cast<int>(text.size()))
    return;
  // What is typed as the tool ends goes nowhere, as on a console; finish() tells how it ended.
  if (WaitForSingleObject(ProcessOf(child_), kEndingMilliseconds) != WAIT_OBJECT_0)
    throw std::runtime_error("the tool no longer reads its input");
}

void RunningTool::collect(int& fd, std::string& text) {
  char buffer[kChunk];
  const int got = _read(fd, buffer, sizeof buffer);
  if (got > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  } else {
    CloseIfOpen(fd);
  }
}

bool RunningTool::readSome() {
  for (int silent = 0; silent < kSilentLooksAllowed; ++silent) {
    if (out_ < 0 && err_ < 0) return false;
    bool any = false;
    for (int* fd : {&out_, &err_}) {
      DWORD available = 0;
      if (*fd < 0) continue;
      // A broken pipe reads as its end.
      if (!PeekNamedPipe(HandleOf(*fd), nullptr, 0, nullptr, &available, nullptr) ||
          available > 0) {
        collect(*fd, fd == &out_ ? outText_ : errText_);
        any = true;
      }
    }
    if (any) return true;
    Sleep(kLookMilliseconds);
  }
  return false;
}

bool RunningTool::waitFor(const std::string& text, Stream stream) {
  const std::string& seen = stream == Stream::Out ? outText_ : errText_;
  while (WithoutCarriageReturns(seen).find(text) == std::string::npos) {
    if (!readSome()) return false;
  }
  return true;
}

// Once the pipe holds its size, the write the tool is in, or its next one, waits.
bool RunningTool::waitUntilOutputWaits() {
  for (int silent = 0; silent < kSilentLooksAllowed && out_ >= 0; ++silent) {
    DWORD available = 0;
    if (!PeekNamedPipe(HandleOf(out_), nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available >= kOutputPipeBytes) return true;
    Sleep(kLookMilliseconds);
  }
  return false;
}

void RunningTool::signal(int number) {
  if (number != SIGINT) throw std::runtime_error("a console sends Ctrl-C only");
  ResetEvent(KeyDelivered());
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
    throw std::runtime_error("GenerateConsoleCtrlEvent failed: " + std::to_string(GetLastError()));
  // The console hands the key to its processes in turn: reading on at once lets the tool run
  // on before its own handler has seen it.
  if (WaitForSingleObject(KeyDelivered(), kEndingMilliseconds) != WAIT_OBJECT_0)
    throw std::runtime_error("the console did not deliver Ctrl-C");
}

ToolRun RunningTool::finish() {
  CloseIfOpen(input_);
  while (readSome()) {
  }
  if (out_ >= 0 || err_ >= 0) TerminateProcess(ProcessOf(child_), 1);  // went silent
  WaitForSingleObject(ProcessOf(child_), INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(ProcessOf(child_), &status);
  CloseHandle(ProcessOf(child_));
  child_ = -1;
  ToolRun result;
  result.exitStatus = static_cast<int>(status);
  result.out = WithoutCarriageReturns(outText_);
  result.err = WithoutCarriageReturns(errText_);
  return result;
}

}  // namespace omrix::cli::testing
