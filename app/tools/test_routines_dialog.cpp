#include "test_routines_dialog.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_frame.h"

namespace omrix::shell {

namespace {
// What the field takes of a command.
constexpr int kLongestCommand = 254;
// Wide enough for a typical command and the two buttons.
constexpr int kDialogWidth = 360;
}  // namespace

CTestRoutinesDialog::CTestRoutinesDialog(CMainFrame* mainFrame)
    : QDialog(mainFrame),
      mainFrame_(mainFrame),
      commandField_(new QLineEdit(this)),
      executeButton_(new QPushButton(QStringLiteral("Execute"), this)) {
  setWindowTitle(QStringLiteral("test routines"));
  commandField_->setMaxLength(kLongestCommand);
  executeButton_->setDefault(true);
  executeButton_->setEnabled(false);
  auto* exitButton = new QPushButton(QStringLiteral("Exit"), this);
  exitButton->setAutoDefault(false);

  auto* commandRow = new QHBoxLayout;
  commandRow->addWidget(new QLabel(QStringLiteral("Command:"), this));
  commandRow->addWidget(commandField_, 1);
  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(executeButton_);
  buttonRow->addWidget(exitButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(commandRow);
  layout->addWidget(rule);
  layout->addLayout(buttonRow);
  setMinimumWidth(kDialogWidth);

  // Once the field has changed, Execute stays enabled, an emptied field included.
  connect(commandField_, &QLineEdit::textChanged, executeButton_,
          [this] { executeButton_->setEnabled(true); });
  connect(executeButton_, &QPushButton::clicked, this, &CTestRoutinesDialog::Execute);
  connect(exitButton, &QPushButton::clicked, this, &QDialog::accept);
  commandField_->setFocus();
}

void CTestRoutinesDialog::Execute() {
  mainFrame_->ExecuteTestRoutine(commandField_->text());
  commandField_->clear();
}

}  // namespace omrix::shell
