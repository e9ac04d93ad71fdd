// The application object: the settings store, the one main window and its placement.
#pragma once

#include <memory>

#include "commands/library.h"
#include "gui_prompts.h"
#include "main_frame.h"
#include "signal_watch.h"

namespace omrix::shell {

class COmrixApp {
 public:
  explicit COmrixApp(omrix::commands::Library library);
  CMainFrame& mainFrame() { return *mainFrame_; }

 private:
  std::unique_ptr<CGuiPrompts> prompts_;
  std::unique_ptr<CMainFrame> mainFrame_;
  CSignalWatch signals_;
};

}  // namespace omrix::shell
