// The POSIX side of omrixctl's input: signal handlers and ppoll.
#include "terminal_input.h"

#include <poll.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <iterator>

namespace omrix::cli {

namespace {

constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCount = static_cast<int>(std::size(kEndingSignals));
constexpr int kMillisecondsPerSecond = 1000;
constexpr long kNanosecondsPerMillisecond = 1000000;

volatile std::sig_atomic_t pendingSignal = 0;

extern "C" void RecordSignal(int signal) {
  if (pendingSignal == 0) pendingSignal = signal;
}

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kEndingSignals) sigaddset(&set, signal);
  return set;
}

// Waits for `fd` (or only for the time, with fd -1) with the ending signals
// blocked except inside ppoll, so a signal between the check and the wait
// cannot be missed. Returns ppoll's result, or -1 when a signal is pending.
int PollUnlessSignalled(int fd, const timespec* timeout) {
  const sigset_t ending = EndingSignals();
  sigset_t open;
  pthread_sigmask(SIG_BLOCK, &ending, &open);
  int got = -1;
  while (pendingSignal == 0) {
    pollfd input{fd, POLLIN, 0};
    got = ppoll(&input, fd < 0 ? 0 : 1, timeout, &open);
    if (got >= 0 || errno != EINTR) break;
    got = -1;
  }
  pthread_sigmask(SIG_SETMASK, &open, nullptr);
  return pendingSignal != 0 ? -1 : got;
}

}  // namespace

struct SessionSignals::Previous {
  struct sigaction actions[kCount] {};
};

SessionSignals::SessionSignals() : previous_(std::make_unique<Previous>()) {
  pendingSignal = 0;
  struct sigaction action {};
  action.sa_handler = &RecordSignal;
  sigemptyset(&action.sa_mask);
  // The library's own reads and writes carry on; only the waits here give way.
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kCount; ++i) sigaction(kEndingSignals[i], &action, &previous_->actions[i]);
}

SessionSignals::~SessionSignals() {
  for (int i = 0; i < kCount; ++i) sigaction(kEndingSignals[i], &previous_->actions[i], nullptr);
}

int PendingSignal() { return pendingSignal; }

bool WaitForInput(int fd) {
  // An error of the wait is left to the read that follows, which reports it.
  PollUnlessSignalled(fd, nullptr);
  return pendingSignal == 0;
}

bool WaitForAny(std::vector<pollfd>& fds) {
  const sigset_t ending = EndingSignals();
  sigset_t open;
  pthread_sigmask(SIG_BLOCK, &ending, &open);
  while (pendingSignal == 0) {
    if (ppoll(fds.data(), fds.size(), nullptr, &open) >= 0 || errno != EINTR) break;
  }
  pthread_sigmask(SIG_SETMASK, &open, nullptr);
  return pendingSignal == 0;
}

void SleepUnlessSignalled(int milliseconds) {
  const timespec timeout{milliseconds / kMillisecondsPerSecond,
                         (milliseconds % kMillisecondsPerSecond) * kNanosecondsPerMillisecond};
  PollUnlessSignalled(-1, &timeout);
}

std::optional<std::string> ReadInputLine() { return ReadInputLine(STDIN_FILENO); }

bool InputWaiting() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, 0) > 0;
}

std::optional<std::string> ReadInputLine(int fd) {
  std::string line;
  for (;;) {
    if (!WaitForInput(fd)) return std::nullopt;
    char c = 0;
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    line += c;
  }
}

TypedDecoder::Step TypedDecoder::Feed(char byte, wchar_t& character) {
  const std::size_t used = std::mbrtowc(&character, &byte, 1, &state_);
  if (used == static_cast<std::size_t>(-2)) return Step::More;
  if (used == static_cast<std::size_t>(-1)) {
    state_ = std::mbstate_t{};
    return Step::Invalid;
  }
  if (used == 0) character = L'\0';
  return Step::Character;
}

bool EncodeTyped(const wchar_t* characters, std::size_t count, std::string& bytes) {
  std::mbstate_t state{};
  char encoded[MB_LEN_MAX];
  bytes.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = std::wcrtomb(encoded, characters[i], &state);
    if (length == static_cast<std::size_t>(-1)) return false;
    bytes.append(encoded, length);
  }
  return true;
}

}  // namespace omrix::cli
