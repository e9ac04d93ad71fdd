// The main window: the menu bar, the output window, and the posting of commands to the
// library thread in order.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QThread>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/library.h"
#include "commands/seams.h"
#include "output_edit.h"
#include "session/transport.h"
#include "session_log.h"

namespace omrix::cli {
struct ClientRun;
}  // namespace omrix::cli

class QAction;

namespace omrix::shell {

class CLibraryWorker;
class CSessionHost;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // `prompts` asks the person; it is called on the GUI thread only.
  CMainFrame(omrix::commands::Library library, omrix::commands::Prompts& prompts,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The start-up on the library thread: banner, system line, driver, "omrix.dat".
  void StartUp();
  // Queues a command behind those already posted, as the menu does; false when it is not
  // queued (About opens at once; an exit or a shutdown is queued once).
  bool PostCommand(int id);
  // Queues one command of the test routines likewise; it is echoed, then answered.
  void ExecuteTestRoutine(const QString& text);
  // From now until File > Exit, omrixctl runs its subcommands in this window's session, each
  // queued as it arrives; `problem` is said when there is no listener to serve on.
  void Host(std::optional<omrix::session::Listener> listener, const std::string& problem);
  bool Hosting() const { return sessionHost_ != nullptr; }

  COutputEdit* outputWindow() const { return outputWindow_; }
  QAction* Action(int id) const;
  bool Busy() const { return pending_ > 0; }
  bool DeviceInitialized() const { return deviceInitialized_; }

  // The program was asked by `signal` to end: the running command finishes, the rest of the
  // queue is dropped, a waiting loop and the test routines stop, then File > Exit runs.
  void EndOnSignal(int signal);
  // 0, or what the program exits with after a signal.
  int ExitStatus() const { return exitStatus_; }

  // Takes this copy's log in logDirectory, which then holds the output as it arrives;
  // StartUp does it when it was not done before.
  void OpenLog();
  // Which running copy of the program this is, as its log says: 1 for the first.
  int Copy() const { return log_.Copy(); }
  // The log replaced by the output window's lines, whole and in UTF-8; a failure is told in
  // a message box, the window being about to go.
  bool WriteLogFile();
  // Where the log goes: the state directory unless told otherwise.
  QString logDirectory;

 signals:
  void CommandFinished(int id);
  void ShutDownDone();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void UpdateEnabling();
  void Dispatch(int id);
  void Queued();
  void OnOutput(const QByteArray& text);
  void OnAppended(const QString& text);
  void ReportLogFailure();
  void OnFinished(int id, const QList<int>& posted, bool deviceInitialized);
  void ShowAbout();
  void OpenTestRoutines();
  void PostClient(const std::shared_ptr<omrix::cli::ClientRun>& run);
  void DispatchClient(const std::shared_ptr<omrix::cli::ClientRun>& run);
  void ComeToTheFront();

  omrix::commands::Prompts& prompts_;
  COutputEdit* outputWindow_;
  CSessionLog log_;
  bool logTried_ = false;
  bool logFailed_ = false;  // said once; the live log stops there
  QThread libraryThread_;
  CLibraryWorker* worker_;                     // lives on libraryThread_
  std::unique_ptr<CSessionHost> sessionHost_;  // none once the window is ending
  std::string hostProblem_;                    // why omrixctl cannot use this session
  std::map<int, QAction*> actions_;
  // The start-up and the commands it has posted, not yet finished. Clients wait for the last:
  // the FPGA's configuration would undo what they did, and a board left to the JTAG tool is
  // not theirs.
  std::vector<int> startUpPending_;
  std::vector<std::shared_ptr<omrix::cli::ClientRun>> heldClients_;
  int pending_ = 0;
  bool deviceInitialized_ = false;
  bool shutDown_ = false;
  int exitStatus_ = 0;
  // However often and however an end is asked for, the exit and the shutdown run once.
  bool exitPosted_ = false;
  bool shutdownPosted_ = false;
};

}  // namespace omrix::shell
