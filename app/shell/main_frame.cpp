#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QSysInfo>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "commands/directories.h"
#include "commands/menu.h"
#include "commands/people_text.h"
#include "library_thread.h"
#include "progress_window.h"
#include "session_host.h"
#include "signal_watch.h"
#include "test_routines_dialog.h"
#include "window_placement.h"

using namespace omrix::commands;

namespace {
constexpr int kAboutIconSize = 64;
}  // namespace

// Outside any namespace, as Qt's resource initialisation must be; the icon lies in this
// static library, so the program and the tests both reach it.
static void InitIconResource() { Q_INIT_RESOURCE(omrix_icon); }

namespace omrix::shell {

CMainFrame::CMainFrame(Library library, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      outputWindow_(new COutputEdit(this)),
      worker_(new CLibraryWorker(std::move(library), prompts, this)),
      startUpPending_{kStartUpJob} {
  logDirectory = QFile::decodeName(omrix::commands::StateDirectory().c_str());
  setWindowTitle(QStringLiteral("omrix"));
  InitIconResource();
  setWindowIcon(QIcon(QStringLiteral(":/omrix.png")));
  setCentralWidget(outputWindow_);
  BuildMenus();
  worker_->moveToThread(&libraryThread_);
  connect(&libraryThread_, &QThread::finished, worker_, &QObject::deleteLater);
  connect(worker_, &CLibraryWorker::OutputArrived, this, &CMainFrame::OnOutput);
  connect(worker_, &CLibraryWorker::Finished, this, &CMainFrame::OnFinished);
  connect(outputWindow_, &COutputEdit::Appended, this, &CMainFrame::OnAppended);
  libraryThread_.start();
}

CMainFrame::~CMainFrame() {
  sessionHost_.reset();
  libraryThread_.quit();
  libraryThread_.wait();
}

void CMainFrame::BuildMenus() {
  std::map<QString, QMenu*> menus;
  for (const MenuEntry& entry : MenuBar()) {
    const QString menuText = QString::fromLatin1(entry.menu);
    // A top-level item: an action on the menu bar itself.
    if (entry.text != nullptr && std::string(entry.text) == entry.menu) {
      QAction* action = menuBar()->addAction(menuText);
      actions_[entry.id] = action;
      connect(action, &QAction::triggered, this, [this, id = entry.id] { PostCommand(id); });
      continue;
    }
    QMenu*& menu = menus[menuText];
    if (menu == nullptr) {
      menu = menuBar()->addMenu(menuText);
      connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateEnabling);
    }
    QMenu* target = menu;
    if (entry.submenu != nullptr) {
      QMenu*& submenu = menus[menuText + QLatin1Char('/') + QString::fromLatin1(entry.submenu)];
      if (submenu == nullptr) {
        submenu = menu->addMenu(QString::fromLatin1(entry.submenu));
        connect(submenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateEnabling);
      }
      target = submenu;
    }
    if (entry.text == nullptr) {
      target->addSeparator();
      continue;
    }
    QAction* action = target->addAction(QString::fromLatin1(entry.text));
    actions_[entry.id] = action;
    connect(action, &QAction::triggered, this, [this, id = entry.id] { PostCommand(id); });
  }
  UpdateEnabling();
}

QAction* CMainFrame::Action(int id) const {
  const auto found = actions_.find(id);
  return found != actions_.end() ? found->second : nullptr;
}

void CMainFrame::UpdateEnabling() {
  for (const auto& [id, action] : actions_) {
    const bool always = AlwaysEnabled(static_cast<CommandId>(id));
    // While a command runs only About can be chosen; the rest waits for the library.
    action->setEnabled(id == ID_APP_ABOUT || (!Busy() && (always || deviceInitialized_)));
  }
}

void CMainFrame::OpenLog() {
  logTried_ = true;
  if (!log_.Open(QFile::encodeName(logDirectory).toStdString())) ReportLogFailure();
}

void CMainFrame::OnAppended(const QString& text) {
  if (!log_.IsOpen() || logFailed_) return;
  if (!log_.Append(text.toUtf8().toStdString())) ReportLogFailure();
}

void CMainFrame::ReportLogFailure() {
  logFailed_ = true;
  OnOutput(QByteArray::fromStdString("-> ERROR: " + log_.Error() + "\n"));
}

bool CMainFrame::WriteLogFile() {
  if (!logTried_) OpenLog();
  QByteArray text;
  for (const QString& line : outputWindow_->Lines()) text += line.toUtf8() + '\n';
  if (log_.Replace(text.toStdString())) return true;
  if (exitStatus_ != 0) {
    // Ended by a signal: nobody may be there to close a box.
    std::fprintf(stderr, "omrix: %s\n", PeopleText(log_.Error()).c_str());
    return false;
  }
  prompts_.MessageBox(log_.Error(), Buttons::Ok, Icon::Exclamation);
  return false;
}

void CMainFrame::EndOnSignal(int signal) {
  if (exitStatus_ != 0) return;  // the first signal says how the program ended
  exitStatus_ = CSignalWatch::ExitStatus(signal);
  worker_->SkipQueued();
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* progress = qobject_cast<CProgressWindow*>(window)) progress->RequestStop();
  for (CTestRoutinesDialog* dialog : findChildren<CTestRoutinesDialog*>()) dialog->reject();
  PostCommand(ID_APP_EXIT);
}

void CMainFrame::StartUp() {
  if (!logTried_) OpenLog();
  ++pending_;
  QApplication::setOverrideCursor(Qt::BusyCursor);
  UpdateEnabling();
  QMetaObject::invokeMethod(
      worker_,
      [worker = worker_, release = QSysInfo::kernelVersion()] { worker->StartUp(release); },
      Qt::QueuedConnection);
}

bool CMainFrame::PostCommand(int id) {
  if (id == ID_APP_ABOUT) {
    ShowAbout();
    return false;
  }
  if (id == ID_APP_EXIT) {
    if (exitPosted_ || shutdownPosted_) return false;
    exitPosted_ = true;
    sessionHost_.reset();   // what omrixctl asks from now on is a short session's again
    worker_->EndClients();  // a client's open question would hold the exit up for good
  }
  if (id == ID_SHUTDOWN) {
    if (shutdownPosted_) return false;
    shutdownPosted_ = true;
    sessionHost_.reset();
    worker_->EndClients();
    // The window's own part of the shutdown, before the driver is closed.
    SaveWindowPlacement(*this);
    WriteLogFile();
  }
  Dispatch(id);
  return true;
}

void CMainFrame::Queued() {
  if (pending_++ == 0) QApplication::setOverrideCursor(Qt::BusyCursor);
  UpdateEnabling();
}

void CMainFrame::Dispatch(int id) {
  Queued();
  QMetaObject::invokeMethod(
      worker_, [worker = worker_, id] { worker->Run(id); }, Qt::QueuedConnection);
}

void CMainFrame::ExecuteTestRoutine(const QString& text) {
  Queued();
  // Bytes as a file name is spelt on this system, for the file name of c.
  QMetaObject::invokeMethod(
      worker_, [worker = worker_, bytes = QFile::encodeName(text)] { worker->Execute(bytes); },
      Qt::QueuedConnection);
}

void CMainFrame::Host(std::optional<omrix::session::Listener> listener,
                      const std::string& problem) {
  if (!listener) {
    hostProblem_ = "-> WARNING: omrixctl cannot use this window's session: " + problem + "\n";
    return;
  }
  sessionHost_ = std::make_unique<CSessionHost>(std::move(*listener));
  connect(sessionHost_.get(), &CSessionHost::RunArrived, this, &CMainFrame::PostClient);
  connect(sessionHost_.get(), &CSessionHost::RaiseAsked, this, &CMainFrame::ComeToTheFront);
}

void CMainFrame::PostClient(const std::shared_ptr<omrix::cli::ClientRun>& run) {
  if (!startUpPending_.empty()) {
    heldClients_.push_back(run);
    return;
  }
  DispatchClient(run);
}

void CMainFrame::DispatchClient(const std::shared_ptr<omrix::cli::ClientRun>& run) {
  Queued();
  QMetaObject::invokeMethod(
      worker_, [worker = worker_, run] { worker->RunClient(run); }, Qt::QueuedConnection);
}

void CMainFrame::ComeToTheFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();  // as far as the desktop lets a program take the focus
}

void CMainFrame::OpenTestRoutines() {
  CTestRoutinesDialog dialog(this);
  dialog.exec();
}

void CMainFrame::OnOutput(const QByteArray& text) {
  outputWindow_->AppendOutput(QString::fromStdString(PeopleText(text.toStdString())));
}

void CMainFrame::OnFinished(int id, const QList<int>& posted, bool deviceInitialized) {
  deviceInitialized_ = deviceInitialized;
  if (--pending_ == 0) QApplication::restoreOverrideCursor();
  // Said after the start-up's own lines, where the person reads how the session stands.
  if (id == kStartUpJob && !hostProblem_.empty())
    OnOutput(QByteArray::fromStdString(std::exchange(hostProblem_, std::string())));
  const auto step = std::find(startUpPending_.begin(), startUpPending_.end(), id);
  const bool startUpStep = step != startUpPending_.end();
  if (startUpStep) startUpPending_.erase(step);
  for (const int next : posted)
    if (PostCommand(next) && startUpStep) startUpPending_.push_back(next);
  if (startUpStep && startUpPending_.empty()) {
    for (const std::shared_ptr<omrix::cli::ClientRun>& run : heldClients_) DispatchClient(run);
    heldClients_.clear();
  }
  UpdateEnabling();
  emit CommandFinished(id);
  // The item has printed the help; the dialog opens once this slot has returned.
  if (id == ID_COMMANDLINE)
    QMetaObject::invokeMethod(this, &CMainFrame::OpenTestRoutines, Qt::QueuedConnection);
  if (id == ID_SHUTDOWN) {
    shutDown_ = true;
    close();
    emit ShutDownDone();
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (shutDown_) {
    event->accept();
    return;
  }
  // Every way out goes through File > Exit, behind whatever runs now.
  event->ignore();
  PostCommand(ID_APP_EXIT);
}

void CMainFrame::ShowAbout() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("About omrix.exe"));
  auto* layout = new QVBoxLayout(&about);
  auto* head = new QHBoxLayout;
  auto* icon = new QLabel(&about);
  icon->setPixmap(windowIcon().pixmap(kAboutIconSize, kAboutIconSize));
  head->addWidget(icon, 0, Qt::AlignTop);
  auto* lines = new QVBoxLayout;
  for (const char* line : {"omrix for Windows 9x/NT 4.0 based OS",
                           "setup, test and control routines for omrix/pRAXnode",
                           "Version 1.24,  january 2005", "This build: version " OMRIX_VERSION})
    lines->addWidget(new QLabel(QString::fromLatin1(line), &about));
  head->addLayout(lines, 1);
  layout->addLayout(head);
  auto* rule = new QFrame(&about);
  rule->setFrameShape(QFrame::HLine);
  layout->addWidget(rule);
  layout->addWidget(new QLabel(QStringLiteral("(c) Varnotek 2005"), &about));
  layout->addWidget(new QLabel(QStringLiteral("Varnotek\nmaker of the omrix board"), &about));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  layout->addWidget(buttons);
  about.exec();
}

}  // namespace omrix::shell
