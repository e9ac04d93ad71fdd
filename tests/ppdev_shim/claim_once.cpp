// Another program on the parallel port, as a cable's programming software would be: it finds
// the port at a base through libieee1284, claims it, and releases it again.
//
// Usage: ppdev_claim_once BASE PATIENCE_MS [HOLD] (BASE in hex). A claim that another program
// holds waits, as the kernel makes it, until the patience runs out. With HOLD it keeps the
// port, once it says so, until its standard input ends: "hold" keeps it claimed,
// "hold-exclusive" opens it exclusively and keeps it registered so, released.
// Exit status: 0 claimed and released, 2 the port is busy, 1 anything else.
#include <ieee1284.h>
#include <sys/time.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kClaimed = 0;
constexpr int kFailed = 1;
constexpr int kBusy = 2;
// Once the patience is out, every later wait in the kernel is cut short as well.
constexpr long kRepeatUs = 50'000;
constexpr long kUsPerMs = 1000;

volatile std::sig_atomic_t g_patienceOut = 0;

extern "C" void PatienceOut(int) { g_patienceOut = 1; }

void ArmPatience(long milliseconds) {
  struct sigaction action {};
  action.sa_handler = PatienceOut;  // no SA_RESTART: a waiting claim returns EINTR
  sigaction(SIGALRM, &action, nullptr);
  itimerval timer{};
  timer.it_value.tv_sec = milliseconds / kUsPerMs;
  timer.it_value.tv_usec = (milliseconds % kUsPerMs) * kUsPerMs;
  timer.it_interval.tv_usec = kRepeatUs;
  setitimer(ITIMER_REAL, &timer, nullptr);
}

void DisarmPatience() {
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
}

}  // namespace

// Keeps the port until standard input ends.
void Hold(unsigned long base) {
  std::printf("holding the port at %lxh\n", base);
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
}

int main(int argc, char** argv) {
  const std::string hold = argc == 4 ? argv[3] : "";
  const bool exclusive = hold == "hold-exclusive";
  if ((argc != 3 && argc != 4) || (argc == 4 && hold != "hold" && !exclusive)) {
    std::fprintf(stderr, "usage: ppdev_claim_once BASE PATIENCE_MS [hold|hold-exclusive]\n");
    return kFailed;
  }
  const unsigned long base = std::strtoul(argv[1], nullptr, 16);
  ArmPatience(std::strtol(argv[2], nullptr, 10));

  parport_list list{};
  if (ieee1284_find_ports(&list, 0) != E1284_OK) {
    std::fprintf(stderr, "no ports found\n");
    return kFailed;
  }
  parport* port = nullptr;
  for (int i = 0; i < list.portc; ++i)
    if (list.portv[i]->base_addr == base) port = list.portv[i];
  int status = kFailed;
  if (port == nullptr) {
    std::fprintf(stderr, "no port at %lxh\n", base);
  } else if (ieee1284_open(port, exclusive ? F1284_EXCL : 0, nullptr) != E1284_OK) {
    std::fprintf(stderr, "cannot open the port at %lxh: %s\n", base, std::strerror(errno));
  } else {
    errno = 0;
    if (ieee1284_claim(port) == E1284_OK) {
      DisarmPatience();
      if (exclusive) ieee1284_release(port);
      if (!hold.empty()) Hold(base);
      if (!exclusive) ieee1284_release(port);
      std::printf("claimed and released the port at %lxh\n", base);
      status = kClaimed;
    } else {
      std::printf("the port at %lxh is busy (%s%s)\n", base, std::strerror(errno),
                  g_patienceOut != 0 ? ", gave up waiting" : "");
      status = kBusy;
    }
    ieee1284_close(port);
  }
  DisarmPatience();
  ieee1284_free_ports(&list);
  return status;
}
