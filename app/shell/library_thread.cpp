#include "library_thread.h"

#include <sys/socket.h>

#include <QMetaObject>

#include "host.h"
#include "session.h"

namespace omrix::shell {

using omrix::commands::Answer;
using omrix::commands::Buttons;
using omrix::commands::CommandId;
using omrix::commands::CommandResult;
using omrix::commands::FailureText;
using omrix::commands::FileChooser;
using omrix::commands::Icon;

class CLibraryWorker::ThreadOutput final : public omrix::commands::Output {
 public:
  explicit ThreadOutput(CLibraryWorker& worker) : worker_(worker) {}
  void AppendOutput(const std::string& text) override {
    emit worker_.OutputArrived(QByteArray::fromStdString(text));
    if (client != nullptr) client->AppendOutput(text);
  }

  // The terminal of the client whose subcommand runs, which sees the output too.
  omrix::commands::Output* client = nullptr;

 private:
  CLibraryWorker& worker_;
};

// The progress window lives on the GUI thread: its bar is moved there without waiting, and
// a poll waits for the window's answer.
class CLibraryWorker::ThreadProgress final : public omrix::commands::Progress {
 public:
  ThreadProgress(std::unique_ptr<omrix::commands::Progress> gui, QObject* guiObject)
      : gui_(std::move(gui)), guiObject_(guiObject) {}
  ~ThreadProgress() override {
    // Behind the steps still queued, so each finds the window.
    QMetaObject::invokeMethod(
        guiObject_, [this] { gui_.reset(); }, Qt::BlockingQueuedConnection);
  }
  void StepIt() override {
    omrix::commands::Progress* window = gui_.get();
    QMetaObject::invokeMethod(
        guiObject_, [window] { window->StepIt(); }, Qt::QueuedConnection);
  }
  bool CheckCancel() override {
    bool cancel = false;
    QMetaObject::invokeMethod(
        guiObject_, [&] { cancel = gui_->CheckCancel(); }, Qt::BlockingQueuedConnection);
    return cancel;
  }

 private:
  std::unique_ptr<omrix::commands::Progress> gui_;
  QObject* guiObject_;
};

// Asks on the GUI thread and waits for the answer: the command stands still meanwhile. A
// client's subcommand asks the client instead, from this thread.
class CLibraryWorker::ThreadPrompts final : public omrix::commands::Prompts {
 public:
  ThreadPrompts(omrix::commands::Prompts& gui, QObject* guiObject)
      : gui_(gui), guiObject_(guiObject) {}
  Answer MessageBox(const std::string& text, Buttons buttons, Icon icon) override {
    if (client != nullptr) return client->MessageBox(text, buttons, icon);
    Answer answer = Answer::Cancel;
    QMetaObject::invokeMethod(
        guiObject_, [&] { answer = gui_.MessageBox(text, buttons, icon); },
        Qt::BlockingQueuedConnection);
    return answer;
  }
  std::optional<std::string> ChooseFile(const FileChooser& chooser) override {
    if (client != nullptr) return client->ChooseFile(chooser);
    std::optional<std::string> path;
    QMetaObject::invokeMethod(
        guiObject_, [&] { path = gui_.ChooseFile(chooser); }, Qt::BlockingQueuedConnection);
    return path;
  }
  void Beep() override {
    if (client != nullptr) return client->Beep();
    QMetaObject::invokeMethod(
        guiObject_, [this] { gui_.Beep(); }, Qt::QueuedConnection);
  }
  std::unique_ptr<omrix::commands::Progress> ShowProgress() override {
    if (client != nullptr) return client->ShowProgress();
    std::unique_ptr<omrix::commands::Progress> window;
    QMetaObject::invokeMethod(
        guiObject_, [&] { window = gui_.ShowProgress(); }, Qt::BlockingQueuedConnection);
    if (!window) return nullptr;
    return std::make_unique<ThreadProgress>(std::move(window), guiObject_);
  }

  omrix::commands::Prompts* client = nullptr;

 private:
  omrix::commands::Prompts& gui_;
  QObject* guiObject_;
};

CLibraryWorker::CLibraryWorker(omrix::commands::Library library,
                               omrix::commands::Prompts& guiPrompts, QObject* gui)
    : output_(std::make_unique<ThreadOutput>(*this)),
      prompts_(std::make_unique<ThreadPrompts>(guiPrompts, gui)),
      commands_(std::make_unique<omrix::commands::MenuCommands>(std::move(library), *output_,
                                                                *prompts_)) {}

CLibraryWorker::~CLibraryWorker() = default;

void CLibraryWorker::StartUp(const QString& kernelRelease) {
  commands_->PrintBanner();
  commands_->PrintOperatingSystem(kernelRelease.toStdString());
  CommandResult result = commands_->BringUpDriver();
  if (result.succeeded()) {
    result = commands_->InterpretSetupData();
    hosted_ = std::make_unique<omrix::cli::HostedSession>(
        *commands_, result,
        [this](const std::string& text) { emit OutputArrived(QByteArray::fromStdString(text)); });
  } else {
    driverDown_ = true;
  }
  Report(kStartUpJob, result);
}

void CLibraryWorker::Run(int id) {
  using omrix::commands::ID_APP_EXIT;
  using omrix::commands::ID_SHUTDOWN;
  const bool exitPart = id == ID_APP_EXIT || id == ID_SHUTDOWN;
  if ((skipQueued_ && !exitPart) || (shutdownPosted_ && id == ID_APP_EXIT)) {
    Report(id, {});
    return;
  }
  const CommandResult result = commands_->Run(static_cast<CommandId>(id));
  if (hosted_) hosted_->WindowRan(static_cast<CommandId>(id), result);
  for (const CommandId next : result.posted)
    if (next == ID_SHUTDOWN) shutdownPosted_ = true;
  // A menu command's outcome; the start-up's is told by its boxes, a closed chooser by nothing.
  if (result.failure && !result.failure->cancelled)
    output_->AppendOutput("-> ERROR: " + FailureText(*result.failure) + "\n");
  Report(id, result);
}

void CLibraryWorker::Execute(const QByteArray& text) {
  if (skipQueued_) {
    Report(kTestRoutineJob, {});
    return;
  }
  const std::string command = text.toStdString();
  output_->AppendOutput(command);
  output_->AppendOutput("\n");
  commands_->testRoutines().Execute(command);
  Report(kTestRoutineJob, {});
}

void CLibraryWorker::SkipQueued() {
  skipQueued_ = true;
  EndClients();
}

void CLibraryWorker::EndClients() {
  clientsEnded_ = true;
  // Nobody may be there to answer the client's question, and the window is to end. Both
  // ways, so that a send to a client that stopped reading (a pager, Ctrl-Z) fails instead of
  // waiting for good.
  const std::lock_guard<std::mutex> lock(clientMutex_);
  if (runningClient_ >= 0) shutdown(runningClient_, SHUT_RDWR);
}

void CLibraryWorker::RunClient(const std::shared_ptr<omrix::cli::ClientRun>& run) {
  if (clientsEnded_ || shutdownPosted_ || !hosted_) {
    TurnAway(*run);
    return;
  }
  std::string line = "omrixctl";
  for (const auto& argument : run->request.at("args")) line += " " + argument.get<std::string>();
  const std::optional<omrix::session::Peer> peer = omrix::session::PeerOf(run->client.fd());
  const std::string pid = peer ? " (pid " + std::to_string(peer->pid) + ")" : std::string();
  // Like a menu command's, its output starts after an empty line.
  output_->AppendOutput("\n");
  output_->AppendOutput("-> INFO: " + line + pid + "\n");
  bool admitted = false;
  {
    // Under the stop's own lock: a stop that came since the check above is seen here, and
    // one that comes later finds the client to shut.
    const std::lock_guard<std::mutex> lock(clientMutex_);
    admitted = !clientsEnded_;
    if (admitted) runningClient_ = run->client.fd();
  }
  if (!admitted) {
    TurnAway(*run);
    return;
  }
  output_->client = &hosted_->output();
  prompts_->client = &hosted_->prompts();
  omrix::cli::RunClient(*run, *hosted_);
  {
    const std::lock_guard<std::mutex> lock(clientMutex_);
    runningClient_ = -1;
  }
  output_->client = nullptr;
  prompts_->client = nullptr;
  Report(kClientJob, {});
}

void CLibraryWorker::TurnAway(omrix::cli::ClientRun& run) {
  if (driverDown_)
    omrix::cli::FailWithoutDriver(run);
  else
    run.client.Send({{"type", omrix::session::kind::kRefused},
                     {"text", "the omrix window that held this board is ending"}});
  Report(kClientJob, {});
}

void CLibraryWorker::Report(int id, const CommandResult& result) {
  QList<int> posted;
  for (const CommandId next : result.posted) posted << next;
  const bool device = commands_->DeviceInitialized();
  emit Finished(id, posted, device);
}

}  // namespace omrix::shell
