// The window as the board's session host: omrixctl's clients are met here on the GUI thread,
// and each run request goes to the library thread behind the commands posted before it.
#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host.h"

class QSocketNotifier;

namespace omrix::shell {

class CSessionHost : public QObject {
  Q_OBJECT

 public:
  CSessionHost(omrix::session::Listener listener, QObject* parent = nullptr);
  ~CSessionHost() override;

  // What a second window for this board is told, naming the pid of what holds the board
  // (which, when it is a window, is asked to come to the front); nothing when nothing holds
  // it. Blocks until the holder answers or a short while has passed.
  static std::optional<std::string> HeldElsewhere(const std::string& socketPath);

 signals:
  void RunArrived(const std::shared_ptr<omrix::cli::ClientRun>& run);
  void RaiseAsked();

 private:
  void Serve();
  // One notifier per descriptor the door wants watched, and none for those it is done with.
  void Watch();

  omrix::cli::HostDoor door_;
  std::map<int, QSocketNotifier*> notifiers_;
};

}  // namespace omrix::shell
