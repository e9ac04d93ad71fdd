#include "omrix_app.h"

#include <QApplication>

#include "window_placement.h"

namespace {
// The size the window opens at when no placement is stored.
constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;
}  // namespace

COmrixApp::COmrixApp(omrix::commands::Library library) {
  QCoreApplication::setOrganizationName(QStringLiteral("Varnotek"));
  QCoreApplication::setApplicationName(QStringLiteral("omrix"));
  prompts_ = std::make_unique<CGuiPrompts>();
  mainFrame_ = std::make_unique<CMainFrame>(std::move(library), *prompts_);
  prompts_->SetOwner(mainFrame_.get());  // the boxes belong to the window
  QObject::connect(mainFrame_.get(), &CMainFrame::ShutDownDone, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // The log first: it tells which copy of the program this is, and so where it opens.
  mainFrame_->OpenLog();
  mainFrame_->resize(kDefaultWidth, kDefaultHeight);
  RestoreWindowPlacement(*mainFrame_, mainFrame_->Copy());
  mainFrame_->show();
  mainFrame_->StartUp();
}
