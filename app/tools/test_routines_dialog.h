// The "test routines" dialog: a command field whose commands the main window runs, echoed
// and answered in its output.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace omrix::shell {

class CMainFrame;

class CTestRoutinesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CTestRoutinesDialog(CMainFrame* mainFrame);

  QLineEdit* commandField() const { return commandField_; }
  QPushButton* executeButton() const { return executeButton_; }

 private:
  void Execute();

  CMainFrame* mainFrame_;
  QLineEdit* commandField_;
  QPushButton* executeButton_;
};

}  // namespace omrix::shell
