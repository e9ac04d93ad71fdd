#include "session.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <utility>

#include "commands/checked_file.h"
#include "commands/directories.h"
#include "commands/menu_commands.h"
#include "console.h"
#include "console_input.h"
#include "line_editor.h"
#include "system.h"
#include "terminal.h"
#include "tool_files.h"

namespace omrix::cli {

namespace {

using commands::CommandId;
using commands::CommandResult;

// How a session ends: as File > Exit does, or with the lines left alone so that the FPGA and
// the CPU keep running.
constexpr std::int32_t kEndAsExit = OMRIX_DEINIT_EXIT;
constexpr std::int32_t kEndLinesAtRest = OMRIX_DEINIT_FOR_JTAG;

std::string ResultOf(const commands::StepFailure& failure) {
  return commands::FailureText(failure);
}

}  // namespace

std::optional<std::string> ReadScript(const std::string& source) {
  std::ostringstream content;
  if (source == "-") {
    content << std::cin.rdbuf();
    return content.str();
  }
  std::ifstream in;
  // An ifstream opens a directory without complaint and reads it as empty.
  std::error_code unknown;
  int error = std::filesystem::is_directory(commands::PathOf(source), unknown) ? EISDIR : 0;
  if (error == 0) {
    errno = 0;
    in.open(source, std::ios::binary);
    if (!in) error = errno != 0 ? errno : EACCES;
  }
  if (error != 0) {
    Complain("cannot read script '" + source + "': " + std::strerror(error));
    return std::nullopt;
  }
  content << in.rdbuf();
  return content.str();
}

std::string ParseScript(const std::string& text, std::vector<Command>& commands) {
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    // A file name would end at the NUL: the library would be handed another file.
    if (line.find('\0') != std::string::npos)
      return "script line " + std::to_string(number) + ": a NUL byte (is it a UTF-16 file?)";
    std::istringstream wordsIn(line);
    std::vector<std::string> words;
    for (std::string word; wordsIn >> word;) words.push_back(word);
    if (words.empty() || words[0][0] == '#') continue;
    Command command;
    std::string error = ParseSubcommand(words, command);
    const bool nested =
        command.subcommand == Subcommand::Script || command.subcommand == Subcommand::Shell;
    if (error.empty() && nested)
      error = std::string("a script cannot run a ") + SubcommandName(command.subcommand);
    if (!error.empty()) return "script line " + std::to_string(number) + ": " + error;
    commands.push_back(command);
  }
  return "";
}

namespace {

// A client's going ends its script as a signal ends one: the running subcommand finishes.
bool ClientGone() { return CurrentRemote() != nullptr && CurrentRemote()->Gone(); }

class Session {
 public:
  Session(const commands::Library& library, bool quiet, std::int32_t endMode)
      : library_(library),
        quiet_(quiet),
        output_(quiet),
        ownMenu_(std::in_place, library_, output_, prompts_,
                 [](std::chrono::milliseconds pause) {
                   SleepUnlessSignalled(static_cast<int>(pause.count()));
                 }),
        menu_(*ownMenu_),
        endMode_(endMode),
        stateFile_(commands::StateDirectory() + kStateFileName) {
    if (const std::optional<commands::LastCpuFile> last = ReadLastCpuFile(stateFile_))
      menu_.lastCpuFile = *last;
    remembered_ = menu_.lastCpuFile;
  }
  // In the window's session, which the window ends: its update-cpu file is its own.
  Session(commands::MenuCommands& windowMenu, const CommandResult& startUp,
          std::function<void(const std::string&)> toWindow)
      : quiet_(false),
        output_(false),
        menu_(windowMenu),
        endMode_(kEndAsExit),
        hosted_(true),
        toWindow_(std::move(toWindow)) {
    startFailure_ = startUp.failure;
    notAsRecorded_ = startUp.failure && startUp.failure->code == OMRIX_START_DEVICE_FAILED;
    startedNotAsRecorded_ = notAsRecorded_;
  }
  ~Session() {
    if (!ownMenu_) return;
    const commands::LastCpuFile& last = menu_.lastCpuFile;
    if (last.slot != remembered_.slot || last.path != remembered_.path) {
      std::string error;
      if (!WriteLastCpuFile(stateFile_, last, error))
        Complain("warning: update-cpu will not know this file: " + error);
    }
    // Every way out, a failed bring-up included, ends as the program's shutdown does; the
    // JTAG preparation has released the device itself.
    if (!released_) library_.DeInitOmrix(endMode_);
    menu_.Run(commands::ID_SHUTDOWN);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int Run(const std::vector<Command>& commands) {
    const int started = Begin(commands.front().subcommand);
    if (started != kSuccess) return started;
    return RunEach(commands);
  }

  // The start-up for a host, which serves whatever it left; kSuccess or the status that ends
  // the host (no driver, a factory path).
  int BeginHosting() {
    const int started = Begin(Subcommand::Program, "serve");
    startedNotAsRecorded_ = notAsRecorded_;
    return started;
  }

  TerminalOutput& output() { return output_; }
  TerminalPrompts& prompts() { return prompts_; }

  void Witness(const std::string& peopleLine) {
    if (toWindow_) toWindow_(peopleLine);
  }

  void WindowRan(CommandId id, const CommandResult& result) {
    const bool repairs = id == commands::ID_FPGA_CONFIG_PC ||
                         id == commands::ID_FPGA_CONFIG_FLASH || id == commands::ID_SETUP_AUTO ||
                         id == commands::ID_SETUP_3BC || id == commands::ID_SETUP_378 ||
                         id == commands::ID_SETUP_278 || id == commands::ID_SETUP_AUX;
    if (repairs && result.succeeded()) notAsRecorded_ = false;
  }

  // A client's subcommands in the host's session. `start` reports the host's start-up.
  int RunHosted(const std::vector<Command>& commands, bool quiet) {
    quiet_ = quiet;
    output_.SetQuiet(quiet);
    const int status = RunEach(commands);
    output_.Flush();
    return status;
  }

 private:
  int RunEach(const std::vector<Command>& commands) {
    // A signal lets the running subcommand finish; the next one does not start.
    for (const Command& command : commands) {
      if (PendingSignal() != 0 || ClientGone()) break;
      const int status =
          hosted_ && command.subcommand == Subcommand::Start ? StartResult() : RunOne(command);
      if (status != kSuccess) return status;
    }
    return kSuccess;
  }

  int StartResult() const {
    if (!startFailure_) return kSuccess;
    Complain(ResultOf(*startFailure_));
    if (!startedNotAsRecorded_) return kLibraryFailure;
    Complain(
        Advice("the start-up did not configure the board as omrix.dat records it --> "
               "run 'omrixctl fpga FILE' or 'omrixctl setup' first"));
    return kNotAsRecorded;
  }

  int Begin(Subcommand first, const char* hostName = nullptr) {
    hosted_ = hostName != nullptr;
    const bool setupFirst = first == Subcommand::Setup;
    const std::string setupData = commands::ProgramDirectories().state + "omrix.dat";
    std::error_code unknown;
    const bool recorded = std::filesystem::exists(commands::PathOf(setupData), unknown);
    if (unknown) {
      Complain("cannot look for '" + setupData + "': " + unknown.message());
      return kLibraryFailure;
    }
    if (!menu_.BringUpDriver().succeeded()) {
      Complain(PortAccessHint());
      return kLibraryFailure;
    }
    // A setup brings up the board by itself: the start-up would reconfigure the FPGA, restart
    // the CPU, or with a factory entry code program the board first. Only when there is no
    // omrix.dat yet does it run, for the one thing it then does: write the default file.
    if (!setupFirst || !recorded) {
      prompts_.muted = setupFirst;           // "device not found" is what the setup is for
      output_.muted = setupFirst && quiet_;  // and so is "omrix.dat not initialized"
      const int started = StartUp(first, hostName);
      prompts_.muted = false;
      output_.muted = false;
      if (started != kSuccess) return started;
    }
    return kSuccess;
  }

  int StartUp(Subcommand first, const char* hostName) {
    const CommandResult start = menu_.InterpretSetupData();
    const std::string notRun = std::string("'") +
                               (hostName != nullptr ? hostName : SubcommandName(first)) +
                               "' was not run";
    for (const CommandId posted : start.posted) {
      if (posted == commands::ID_STARTUP_IDCODES) {
        menu_.Run(posted);
        Complain("the start-up programmed the board's identifier codes; " + notRun);
        endMode_ = kEndAsExit;
        return kFactoryPath;
      }
      if (posted == commands::ID_STARTUP_JTAG) {
        menu_.Run(posted);  // leaves the lines to the JTAG tool and releases the device
        released_ = true;
        Complain("the start-up prepared the board for JTAG programming; " + notRun);
        return kFactoryPath;
      }
    }
    startFailure_ = start.failure;
    notAsRecorded_ = start.failure && start.failure->code == OMRIX_START_DEVICE_FAILED;
    if (first == Subcommand::Start && !start.succeeded() && !notAsRecorded_) {
      Complain(ResultOf(*start.failure));
      return kLibraryFailure;
    }
    return kSuccess;
  }

  // What to do about a board that is not there as omrix.dat records it.
  std::string Advice(const char* setupAdvice) const {
    // A setup would only find the port busy again.
    if (output_.portBusy)
      return "another program holds the port --> run this again once it has let go of it";
    return setupAdvice;
  }

  // After a start-up that did not configure the board as recorded, only what can repair the
  // board runs (setup and fpga): anything else would work on an unknown design.
  bool Refused(Subcommand subcommand) const {
    const bool needsRecordedBoard = subcommand == Subcommand::Start ||
                                    (NeedsDevice(subcommand) && subcommand != Subcommand::Fpga);
    return notAsRecorded_ && needsRecordedBoard;
  }

  int RunOne(const Command& command) {
    if (Refused(command.subcommand)) {
      if (command.subcommand == Subcommand::Start) Complain(ResultOf(*startFailure_));
      Complain(
          Advice("the start-up did not configure the board as omrix.dat records it --> "
                 "run 'omrixctl fpga FILE' or 'omrixctl setup' first"));
      return kNotAsRecorded;
    }
    if (command.subcommand == Subcommand::Start) return kSuccess;
    if (NeedsDevice(command.subcommand) && !menu_.DeviceInitialized()) {
      Complain(Advice("no device is current --> run 'omrixctl setup' first"));
      return kNoDevice;
    }
    switch (command.subcommand) {
      case Subcommand::Out: return Out(command);
      case Subcommand::In: return In(command);
      case Subcommand::Init: return Init(command);
      case Subcommand::Ack: return Ack();
      case Subcommand::Shell: return Shell();
      default: break;
    }
    if (!command.file.empty()) prompts_.file = AbsolutePath(command.file);
    prompts_.interactive =
        command.subcommand == Subcommand::IoTest || command.subcommand == Subcommand::Emulate;
    prompts_.unanswered = false;
    output_.ratesAsked = command.subcommand == Subcommand::Rate;
    // A design named on the command line is found as the test routines' c finds it.
    const CommandResult result = command.id == commands::ID_FPGA_CONFIG_PC
                                     ? menu_.testRoutines().ConfigureFpga(command.file)
                                     : menu_.Run(command.id);
    output_.ratesAsked = false;
    prompts_.interactive = false;
    prompts_.file.reset();
    if (result.succeeded()) {
      notAsRecorded_ = false;  // a setup or a configuration put the board in order
      return kSuccess;
    }
    // A verdict nobody gave is no verdict on the board; a failed call still is one.
    if (prompts_.unanswered && !result.failure->libraryCall)
      Complain("the I/O test was not completed: its question got no answer");
    else
      Complain(ResultOf(*result.failure));
    return kLibraryFailure;
  }

  int Out(const Command& command) {
    Result(menu_.testRoutines().WriteByte(command.address, command.data));
    return kSuccess;
  }

  int In(const Command& command) {
    Result(menu_.testRoutines().ReadByte(command.address));
    return kSuccess;
  }

  int Init(const Command& command) {
    Result(menu_.testRoutines().SetInit(command.level));
    return kSuccess;
  }

  int Ack() {
    Result(menu_.testRoutines().AckHigh() ? "1\n" : "0\n");
    return kSuccess;
  }

  void Result(const std::string& text) {
    output_.AppendResult(text);
    if (!toWindow_) return;
    toWindow_("\n");  // pieces as the test routines print them
    toWindow_(text);
  }

  // The test routines at a prompt, each line as the dialog's command field takes it. Only a
  // terminal gets the line editor; other input is read as it comes, byte for byte.
  int Shell() {
    if (!quiet_)
      Show(std::string("\ntest routines: ? for help; exit, quit or ") + EndOfInputKeys() +
           " to leave\n");
    prompts_.interactive = true;
    output_.everything = true;
    std::optional<LineEditor> editor;
    const bool remote = CurrentRemote() != nullptr;  // the client keeps its own line editor
    if (!remote && InputIsTerminal()) editor.emplace(kShellPrompt);
    while (PendingSignal() == 0) {
      std::string problem;
      const std::optional<std::string> line = remote   ? ReadAnswer(kShellPrompt)
                                              : editor ? editor->ReadLine(problem)
                                                       : ReadInputLine();
      if (!line || PendingSignal() != 0) break;
      if (*line == "exit" || *line == "quit") break;
      if (problem.empty()) problem = LineProblem(*line);
      if (!problem.empty()) {
        Complain(problem);
        continue;
      }
      if (line->find_first_not_of(" \t") == std::string::npos) continue;
      if (editor) editor->Remember(*line);     // a client remembers its own lines
      if (toWindow_) toWindow_(*line + "\n");  // echoed, as the dialog echoes a command
      menu_.testRoutines().Execute(*line);
    }
    prompts_.interactive = false;
    output_.everything = false;
    if (!quiet_) Show("\n");
    return kSuccess;
  }

  commands::Library library_;
  bool quiet_;
  TerminalOutput output_;
  TerminalPrompts prompts_;
  std::optional<commands::MenuCommands> ownMenu_;  // none in the window's session
  commands::MenuCommands& menu_;
  std::int32_t endMode_;
  bool released_ = false;  // the device was released by the start-up
  std::optional<commands::StepFailure> startFailure_;
  bool notAsRecorded_ = false;  // the start-up's result 2
  bool hosted_ = false;         // a host's session, which runs the start-up once for all clients
  bool startedNotAsRecorded_ = false;
  static constexpr const char* kShellPrompt = "omrix> ";
  std::string stateFile_;
  commands::LastCpuFile remembered_;  // as the session found it
  std::function<void(const std::string&)> toWindow_;
};

}  // namespace

struct HostedSession::Impl {
  explicit Impl(const commands::Library& library) : session(library, false, kEndAsExit) {}
  Impl(commands::MenuCommands& windowMenu, const CommandResult& startUp,
       std::function<void(const std::string&)> toWindow)
      : session(windowMenu, startUp, std::move(toWindow)) {}
  Session session;
};

HostedSession::HostedSession(const commands::Library& library)
    : impl_(std::make_unique<Impl>(library)) {}

HostedSession::HostedSession(commands::MenuCommands& windowMenu, const CommandResult& startUp,
                             std::function<void(const std::string&)> toWindow)
    : impl_(std::make_unique<Impl>(windowMenu, startUp, std::move(toWindow))) {}

commands::Output& HostedSession::output() { return impl_->session.output(); }

commands::Prompts& HostedSession::prompts() { return impl_->session.prompts(); }

void HostedSession::Witness(const std::string& peopleLine) { impl_->session.Witness(peopleLine); }

void HostedSession::WindowRan(CommandId id, const CommandResult& result) {
  impl_->session.WindowRan(id, result);
}

HostedSession::~HostedSession() = default;

int HostedSession::Begin() { return impl_->session.BeginHosting(); }

int HostedSession::Run(const std::vector<Command>& commands, bool quiet) {
  return impl_->session.RunHosted(commands, quiet);
}

int RunSession(const Invocation& invocation) {
  return RunSession(invocation, commands::LinkedLibrary());
}

int RunSession(const Invocation& invocation, const commands::Library& library) {
  std::vector<Command> commands{invocation.command};
  if (invocation.command.subcommand == Subcommand::Script) {
    const std::optional<std::string> text = ReadScript(invocation.command.file);
    if (!text) return kBadUsage;
    commands.clear();
    const std::string error = ParseScript(*text, commands);
    if (!error.empty()) {
      Complain(error);
      return kBadUsage;
    }
    if (commands.empty()) return kSuccess;
  }
  const SessionSignals signals;
  int status = kSuccess;
  {
    Session session(library, invocation.quiet, invocation.stop ? kEndAsExit : kEndLinesAtRest);
    status = session.Run(commands);
  }  // ended in order, whatever ended it
  if (const int signal = PendingSignal()) return kEndedBySignal + signal;
  return status;
}

}  // namespace omrix::cli
