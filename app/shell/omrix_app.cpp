#include "omrix_app.h"

#include <QApplication>

#include "session/board_socket.h"
#include "session_host.h"
#include "window_placement.h"

namespace omrix::shell {

namespace {
// The size the window opens at when no placement is stored.
constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;
}  // namespace

COmrixApp::COmrixApp(omrix::commands::Library library) {
  QCoreApplication::setOrganizationName(QStringLiteral("Varnotek"));
  QCoreApplication::setApplicationName(QStringLiteral("omrix"));
  prompts_ = std::make_unique<CGuiPrompts>();
  // Before anything touches the board: a second start-up would reconfigure the FPGA and
  // restart the CPU under the host that holds it.
  std::string problem;
  const std::string socket = omrix::session::BoardSocketPath(problem);
  if (!socket.empty()) {
    if (const std::optional<std::string> held = CSessionHost::HeldElsewhere(socket)) {
      prompts_->MessageBox(*held, omrix::commands::Buttons::Ok, omrix::commands::Icon::Exclamation);
      return;
    }
  }
  std::optional<omrix::session::Listener> listener =
      socket.empty() ? std::nullopt : omrix::session::Listener::Open(socket, problem);
  mainFrame_ = std::make_unique<CMainFrame>(std::move(library), *prompts_);
  prompts_->SetOwner(mainFrame_.get());  // the boxes belong to the window
  CMainFrame* frame = mainFrame_.get();
  QObject::connect(
      frame, &CMainFrame::ShutDownDone, qApp,
      [frame] { QCoreApplication::exit(frame->ExitStatus()); }, Qt::QueuedConnection);
  CGuiPrompts* prompts = prompts_.get();
  QObject::connect(&signals_, &CSignalWatch::Arrived, frame, [prompts, frame](int signal) {
    prompts->Withdraw();
    frame->EndOnSignal(signal);
  });
  // The log first: it tells which copy of the program this is, and so where it opens.
  mainFrame_->OpenLog();
  mainFrame_->resize(kDefaultWidth, kDefaultHeight);
  RestoreWindowPlacement(*mainFrame_, mainFrame_->Copy());
  mainFrame_->show();
  mainFrame_->Host(std::move(listener), problem);
  mainFrame_->StartUp();
}

}  // namespace omrix::shell
