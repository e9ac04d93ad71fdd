// SIGTERM, SIGINT and SIGHUP as Qt signals on the GUI thread, so the program can end in order
// (the running command first) instead of dying mid-command. One watcher at a time.
#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace omrix::shell {

class CSignalWatch : public QObject {
  Q_OBJECT

 public:
  explicit CSignalWatch(QObject* parent = nullptr);
  // The handlers that were there before come back.
  ~CSignalWatch() override;

  // What a program ended by `signal` exits with, as a shell expects.
  static int ExitStatus(int signal);

 signals:
  void Arrived(int signal);

 private:
  void Read();

  static constexpr std::array<int, 3> kEnding{SIGTERM, SIGINT, SIGHUP};
  std::array<struct sigaction, kEnding.size()> previous_{};
  int readEnd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace omrix::shell
