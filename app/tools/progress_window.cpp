#include "progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

namespace omrix::shell {

CProgressWindow::CProgressWindow(QWidget* parent) : bar_(new QProgressBar(this)) {
  setWindowTitle(QStringLiteral("Press ESCAPE to stop execution"));
  bar_->setRange(kRangeLow, kRangeHigh);
  bar_->setValue(kRangeLow);
  bar_->setTextVisible(false);
  bar_->setMinimumWidth(kBarWidth);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  cancel->setDefault(true);
  connect(cancel, &QPushButton::clicked, this, &CProgressWindow::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar_);
  layout->addWidget(buttons, 0, Qt::AlignHCenter);

  owner_ = parent != nullptr ? parent->window() : QApplication::activeWindow();
  if (owner_ && owner_->isEnabled()) {
    owner_->setEnabled(false);
    ownerDisabled_ = true;
  }
  // A window of its own rather than the owner's child, which would be disabled with it; the
  // window system keeps it above the owner all the same.
  winId();
  if (owner_ && owner_->windowHandle() != nullptr)
    windowHandle()->setTransientParent(owner_->windowHandle());
  adjustSize();
  if (owner_) move(owner_->frameGeometry().center() - rect().center());
  show();
  // Escape must reach this window, not the disabled owner that had the keyboard.
  raise();
  activateWindow();
}

CProgressWindow::~CProgressWindow() {
  if (ownerDisabled_ && owner_) owner_->setEnabled(true);
}

void CProgressWindow::StepIt() {
  const int next = bar_->value() + kStep;
  bar_->setValue(next > kRangeHigh ? kRangeLow : next);
}

bool CProgressWindow::CheckCancel() { return std::exchange(cancelRequested_, false); }

int CProgressWindow::Position() const { return bar_->value(); }

void CProgressWindow::reject() { RequestStop(); }

void CProgressWindow::closeEvent(QCloseEvent* event) {
  // Only the loop that owns the window closes it.
  event->ignore();
  RequestStop();
}

}  // namespace omrix::shell
