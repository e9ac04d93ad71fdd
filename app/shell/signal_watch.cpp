#include "signal_watch.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace omrix::shell {

namespace {

constexpr int kSignalExitBase = 128;

// The handler's only way out: one byte, the signal's number, into a socket the event loop
// watches. Nothing else is safe inside a handler.
volatile std::sig_atomic_t writeEnd = -1;

void Forward(int signal) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

CSignalWatch::CSignalWatch(QObject* parent) : QObject(parent) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
    qWarning("omrix: signals cannot be watched; a signal ends the program at once");
    return;
  }
  readEnd_ = ends[0];
  writeEnd = ends[1];
  notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CSignalWatch::Read);
  struct sigaction action {};
  action.sa_handler = Forward;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kEnding.size(); ++i) sigaction(kEnding[i], &action, &previous_[i]);
}

CSignalWatch::~CSignalWatch() {
  if (readEnd_ < 0) return;
  notifier_->setEnabled(false);
  for (std::size_t i = 0; i < kEnding.size(); ++i) sigaction(kEnding[i], &previous_[i], nullptr);
  ::close(writeEnd);
  writeEnd = -1;
  ::close(readEnd_);
}

int CSignalWatch::ExitStatus(int signal) { return kSignalExitBase + signal; }

void CSignalWatch::Read() {
  unsigned char byte = 0;
  while (::read(readEnd_, &byte, 1) == 1) emit Arrived(byte);
}

}  // namespace omrix::shell
