// The person at the window: message boxes captioned "omrix" and the file choosers, each
// opening in the directory it was last closed in.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "commands/seams.h"

namespace omrix::shell {

class CGuiPrompts final : public omrix::commands::Prompts {
 public:
  explicit CGuiPrompts(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  omrix::commands::Answer MessageBox(const std::string& text, omrix::commands::Buttons buttons,
                                     omrix::commands::Icon icon) override;
  std::optional<std::string> ChooseFile(const omrix::commands::FileChooser& chooser) override;
  void Beep() override;
  // The progress window over the dialog that is open, else over the owner.
  std::unique_ptr<omrix::commands::Progress> ShowProgress() override;

  // Nobody is there to answer any more (the program is ending): the question shown now and
  // every later one get the answer that changes nothing (Cancel, No, no file; OK where OK is
  // all there is) without being shown, and a progress window shown later stops its loop at
  // once (the window stops the one shown now).
  void Withdraw();

 private:
  QWidget* owner_;
  QPointer<QDialog> shown_;
  int withdrawnAnswer_ = 0;  // what closes the box shown now
  bool withdrawn_ = false;
};

// Where the choosers remember their directories, beside the window placement.
inline constexpr const char* kChooserGroup = "FileChoosers";

}  // namespace omrix::shell
