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
  // With a board that a session host already holds, no window opens: the person is told
  // who holds it, and the program ends.
  explicit COmrixApp(omrix::commands::Library library);
  // Whether this copy has a window; false when another host holds the board.
  bool Opened() const { return mainFrame_ != nullptr; }

 private:
  std::unique_ptr<CGuiPrompts> prompts_;
  std::unique_ptr<CMainFrame> mainFrame_;
  CSignalWatch signals_;
};

}  // namespace omrix::shell
