// omrixctl started as a Windows console starts it: CreateProcess with the streams on files.
#include <windows.h>

#include <stdexcept>

#include "tool_runner.h"
#include "windows_tool_process.h"

namespace omrix::cli::testing {

namespace {

// One argument as the C runtime's command-line parser reads it back.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
    return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are escaped, each quote too; others stand as they are.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

// The file as the child's inheritable standard stream.
class StreamFile {
 public:
  StreamFile(const std::string& path, bool written) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    handle_ = CreateFileA(path.c_str(), written ? GENERIC_WRITE : GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                          written ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  }
  ~StreamFile() { CloseHandle(handle_); }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string ToolCommandLine(const std::vector<std::string>& arguments) {
  std::string commandLine = Quoted(OMRIXCTL_PATH);
  for (const std::string& argument : arguments) commandLine += " " + Quoted(argument);
  return commandLine;
}

std::string EnvironmentBlock(const std::vector<std::string>& entries) {
  std::string block;
  for (const std::string& entry : entries) block += entry + '\0';
  return block + '\0';
}

std::string WithoutCarriageReturns(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) result += text[i];
  return result;
}

ToolRun LibraryDirectory::run(const std::vector<std::string>& arguments,
                              const std::vector<std::pair<std::string, std::string>>& environment,
                              const std::string& input) const {
  std::string commandLine = ToolCommandLine(arguments);
  std::string block = EnvironmentBlock(environmentFor(environment));

  const std::string outPath = root_.file("capture/out");
  const std::string errPath = root_.file("capture/err");
  const std::string inPath = root_.file("capture/in");
  WriteWholeFile(inPath, input);
  PROCESS_INFORMATION process{};
  {
    const StreamFile in(inPath, false), out(outPath, true), err(errPath, true);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, block.data(),
                        path_.c_str(), &startup, &process))
      throw std::runtime_error("CreateProcess failed: " + std::to_string(GetLastError()));
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ToolRun result;
  result.exitStatus = static_cast<int>(status);
  result.out = WithoutCarriageReturns(ReadWholeFile(outPath));
  result.err = WithoutCarriageReturns(ReadWholeFile(errPath));
  return result;
}

}  // namespace omrix::cli::testing
