#include "session_host.h"

#include <QSocketNotifier>
#include <algorithm>
#include <vector>

#include "client.h"
#include "session/protocol.h"

namespace omrix::shell {

CSessionHost::CSessionHost(omrix::session::Listener listener, QObject* parent)
    : QObject(parent), door_(std::move(listener), omrix::session::host::kWindow) {
  Watch();
}

CSessionHost::~CSessionHost() = default;

std::optional<std::string> CSessionHost::HeldElsewhere(const std::string& socketPath) {
  const std::optional<omrix::cli::Holder> holder = omrix::cli::RaiseHolder(socketPath);
  if (!holder) return std::nullopt;
  const std::string pid = "(pid " + std::to_string(holder->pid) + ")";
  if (holder->host == omrix::session::host::kWindow)
    return "This board is open in another omrix window " + pid +
           ", brought to the front.\nThis window ends.";
  if (holder->host == omrix::session::host::kServe)
    return "omrixctl serve " + pid +
           " holds this board.\n'omrixctl serve --stop' ends it. This window ends.";
  return "A session host " + pid + " holds this board.\nThis window ends.";
}

void CSessionHost::Serve() {
  std::vector<omrix::cli::ClientRun> runs = door_.Take();
  if (door_.TakeRaise()) emit RaiseAsked();
  for (omrix::cli::ClientRun& run : runs)
    emit RunArrived(std::make_shared<omrix::cli::ClientRun>(std::move(run)));
  Watch();
}

void CSessionHost::Watch() {
  const std::vector<int> watched = door_.Watched();
  for (auto kept = notifiers_.begin(); kept != notifiers_.end();) {
    if (std::find(watched.begin(), watched.end(), kept->first) != watched.end()) {
      ++kept;
      continue;
    }
    // Its client was handed on or refused: the door has let go of the descriptor.
    kept->second->setEnabled(false);
    kept->second->deleteLater();
    kept = notifiers_.erase(kept);
  }
  for (const int fd : watched) {
    if (notifiers_.count(fd) != 0) continue;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &CSessionHost::Serve);
    notifiers_[fd] = notifier;
  }
}

}  // namespace omrix::shell
