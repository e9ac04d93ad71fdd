// The small window a long loop shows: a bar that moves as the loop goes on, and a Cancel
// button that, like Escape, only asks the loop to stop; the loop polls for that.
#pragma once

#include <QDialog>
#include <QPointer>

class QProgressBar;

namespace omrix::shell {

class CProgressWindow : public QDialog {
  Q_OBJECT

 public:
  // Shown at once over its owner, `parent`'s window or else the active one; the owner is
  // disabled while it is shown, unless it was disabled already.
  explicit CProgressWindow(QWidget* parent);
  ~CProgressWindow() override;

  // One step along the bar, back to its start after the end.
  void StepIt();
  // Whether a stop was asked for since the last call.
  bool CheckCancel();
  // A stop asked for as Escape asks for it.
  void RequestStop() { cancelRequested_ = true; }

  int Position() const;

 protected:
  void reject() override;  // Escape and Cancel
  void closeEvent(QCloseEvent* event) override;

 private:
  static constexpr int kRangeLow = 0;
  static constexpr int kRangeHigh = 20;
  static constexpr int kStep = 1;
  static constexpr int kBarWidth = 240;

  QProgressBar* bar_;
  QPointer<QWidget> owner_;
  bool ownerDisabled_ = false;
  bool cancelRequested_ = false;
};

}  // namespace omrix::shell
