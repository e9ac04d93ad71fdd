// omrixctl: the omrix board from a shell, through the library's exports only. One invocation
// is one short session of the GUI: driver up, start-up interpretation, one command, exit.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"
#include "console.h"
#include "help_text.h"
#include "omrix/omrix_dll.h"
#include "operations.h"
#include "tool_files.h"

namespace {

using namespace omrix::cli;

// DeInitOmrix modes.
constexpr std::int32_t kEndAsExit = 0;       // File > Exit: lines at rest, the FPGA cleared
constexpr std::int32_t kEndLinesAtRest = 2;  // lines left alone: the FPGA and CPU keep running

void ShowLibraryMessage(const char* text) {
  if (text) Show(text);
}

// The library from driver bring-up to HwaccDeInit. Every way out, the failed bring-up
// included, ends the device and closes the driver, as the GUI's shutdown does.
class LibrarySession {
 public:
  explicit LibrarySession(std::int32_t endMode)
      : endMode_(endMode), driverLoaded_(HwaccInit_EnableDllMessages(&ShowLibraryMessage) != 0) {}
  ~LibrarySession() {
    DeInitOmrix(endMode_);
    HwaccDeInit();
  }
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  bool driverLoaded() const { return driverLoaded_; }
  void endWith(std::int32_t mode) { endMode_ = mode; }

 private:
  std::int32_t endMode_;
  bool driverLoaded_;
};

int RunSession(const Invocation& invocation) {
  const Command& command = invocation.command;
  LibrarySession session(invocation.stop ? kEndAsExit : kEndLinesAtRest);
  if (!session.driverLoaded()) {
    Complain(
        "FATAL ERROR: The driver for hardware access could not be installed\n"
        "INFO: port access needs CAP_SYS_RAWIO, or the simulated board (--port-io sim)\n"
        "PROGRAM TERMINATED");
    return kLibraryFailure;
  }

  const std::int32_t startResult = InterpreteOmrixDat();
  const std::string notRun =
      std::string("'") + SubcommandName(command.subcommand) + "' was not run";
  if (startResult == 8) {
    Show("\ndevice ID codes programmed\n");
    Complain("the start-up programmed the board's identifier codes; " + notRun);
    session.endWith(kEndAsExit);
    return kFactoryPath;
  }
  if (startResult == 16) {
    Show("\ndevice prepared for internal programming via JTAG\n\nrun \xB4iMPACT\xB4 now !\n");
    Complain("the start-up prepared the board for JTAG programming; " + notRun);
    session.endWith(kEndLinesAtRest);
    return kFactoryPath;
  }

  if (NeedsDevice(command.subcommand) && IsDeviceInitialized() == 0) {
    Complain("no device is current --> run 'omrixctl setup' first");
    return kNoDevice;
  }
  const std::string stateFile = LibraryDirectory() + kStateFileName;
  return RunSubcommand(command, startResult, stateFile);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParseOutcome parsed = ParseCommandLine(arguments);
  if (!parsed.ok) {
    Complain(parsed.error);
    std::fputs("try 'omrixctl --help'\n", stderr);
    return kBadUsage;
  }
  const Invocation& invocation = parsed.invocation;
  switch (invocation.action) {
    case Invocation::Action::Help:
      std::fputs((invocation.helpTopic.empty() ? ToolHelp() : SubcommandHelp(invocation.helpTopic))
                     .c_str(),
                 stdout);
      return kSuccess;
    case Invocation::Action::Version:
      std::fputs(VersionLine().c_str(), stdout);
      return kSuccess;
    case Invocation::Action::Run:
      break;
  }
  // The library picks its backend when the driver comes up, from the environment as it is then.
  if (invocation.portIoGiven) setenv("OMRIX_PORT_IO", invocation.portIo.c_str(), 1);
  return RunSession(invocation);
}
