// The one thread that runs every command, and so every library call, one at a time in posting
// order, while the window stays live. Its texts and questions reach the GUI thread.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "commands/menu_commands.h"

namespace omrix::cli {
class HostedSession;
struct ClientRun;
}  // namespace omrix::cli

namespace omrix::shell {

// Runs on the library thread; every command is reached by a queued call.
class CLibraryWorker : public QObject {
  Q_OBJECT

 public:
  // `guiPrompts` is asked on the GUI thread (`gui` lives there) while the command waits.
  CLibraryWorker(omrix::commands::Library library, omrix::commands::Prompts& guiPrompts,
                 QObject* gui);
  ~CLibraryWorker() override;

  void StartUp(const QString& kernelRelease);
  // From now on the commands still queued are skipped, except the exit's own; the one running
  // finishes, a client's as EndClients has it. Called from any thread.
  void SkipQueued();
  // The window is ending: the running client's subcommand stops where it can, as if its client
  // had gone, and the clients still queued are turned away. Called from any thread.
  void EndClients();
  void Run(int id);
  // One command of the test routines: echoed, then answered.
  void Execute(const QByteArray& text);
  // An omrixctl subcommand in the window's session: its output here and on the client's
  // terminal, its questions there.
  void RunClient(const std::shared_ptr<omrix::cli::ClientRun>& run);

 signals:
  void OutputArrived(const QByteArray& text);
  // `posted` are the command ids to post behind it; the device state as the library says
  // after the command, so the GUI thread never calls the library itself.
  void Finished(int id, const QList<int>& posted, bool deviceInitialized);

 private:
  class ThreadOutput;
  class ThreadPrompts;
  class ThreadProgress;
  void Report(int id, const omrix::commands::CommandResult& result);
  void TurnAway(omrix::cli::ClientRun& run);

  std::unique_ptr<ThreadOutput> output_;
  std::unique_ptr<ThreadPrompts> prompts_;
  std::unique_ptr<omrix::commands::MenuCommands> commands_;
  // omrixctl's subcommands in this session, once the start-up has brought up the driver.
  std::unique_ptr<omrix::cli::HostedSession> hosted_;
  // The start-up could not bring up the driver: clients get what a short session says then.
  bool driverDown_ = false;
  std::atomic<bool> skipQueued_{false};
  std::atomic<bool> clientsEnded_{false};
  // The socket of the client whose subcommand runs, -1 when none does; guarded, so that a
  // stop never reaches a descriptor that has since been closed and reused.
  std::mutex clientMutex_;
  int runningClient_ = -1;
  // The end is on its way (an exit or the JTAG path posted the shutdown): a later exit would
  // only put back the port lines the JTAG path left to the tool.
  bool shutdownPosted_ = false;
};

// Ids in Finished of what is no menu command: the start-up, a command of the test routines.
inline constexpr int kStartUpJob = 0;
inline constexpr int kTestRoutineJob = 1;
inline constexpr int kClientJob = 2;

}  // namespace omrix::shell
