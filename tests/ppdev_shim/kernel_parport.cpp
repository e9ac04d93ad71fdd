#include "kernel_parport.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace omrix::ppdev_shim {

namespace {

constexpr std::uint16_t kData = sim::ParallelPort::kData;
constexpr std::uint16_t kStatus = sim::ParallelPort::kStatus;
constexpr std::uint16_t kControl = sim::ParallelPort::kControl;
constexpr std::uint16_t kEppAddress = sim::ParallelPort::kEppAddress;
constexpr std::uint16_t kEppData = sim::ParallelPort::kEppData;

constexpr std::uint16_t kMonochromeAdapterPort = 0x3BC;  // never had EPP

// parport_pc passes the four control lines through as register bits, uninverted; the
// direction bit is reached only by the data-direction calls. Without an IRQ the interrupt
// enable is the one bit it never writes.
constexpr std::uint8_t kControlLines =
    PARPORT_CONTROL_STROBE | PARPORT_CONTROL_AUTOFD | PARPORT_CONTROL_INIT | PARPORT_CONTROL_SELECT;
constexpr std::uint8_t kDirectionBit = 0x20;
constexpr std::uint8_t kIrqEnableBit = 0x10;
constexpr std::uint8_t kWritableControl = static_cast<std::uint8_t>(~kIrqEnableBit);
// A device's control register before its first claim: INIT high, SELECT IN asserted.
constexpr std::uint8_t kInitialControl = PARPORT_CONTROL_INIT | PARPORT_CONTROL_SELECT;

// The kernel's phases of the IEEE 1284 state machine (not in the user-space headers).
constexpr int kPhaseForwardIdle = 1;
constexpr int kPhaseReverseIdle = 5;

// ppdev moves at most this much per read() call.
constexpr std::size_t kReadChunk = 1024;

bool Listed(const std::optional<std::vector<std::uint16_t>>& list, std::uint16_t base) {
  return !list || std::find(list->begin(), list->end(), base) != list->end();
}

// The simulator builds its ports from the same configuration: this reads it the same way.
std::vector<PortDescription> Describe(const sim::SimConfig& config) {
  std::vector<PortDescription> ports;
  for (const std::uint16_t base : config.ports) {
    const bool known = std::any_of(ports.begin(), ports.end(),
                                   [base](const PortDescription& p) { return p.base == base; });
    if (known) continue;
    ports.push_back({base, Listed(config.bidir, base),
                     base != kMonochromeAdapterPort && Listed(config.epp, base)});
  }
  return ports;
}

int PhaseFor(int mode) {
  return mode == IEEE1284_MODE_NIBBLE || mode == IEEE1284_MODE_BYTE ? kPhaseReverseIdle
                                                                    : kPhaseForwardIdle;
}

std::string LockPath(const Machine& machine, std::size_t port, const char* what) {
  return machine.stateDirectory() + "parport" + std::to_string(port) + what;
}

template <typename T>
int Get(void* argument, T& value) {
  if (argument == nullptr) return -EFAULT;
  std::memcpy(&value, argument, sizeof value);
  return 0;
}

template <typename T>
int Put(void* argument, const T& value) {
  if (argument == nullptr) return -EFAULT;
  std::memcpy(argument, &value, sizeof value);
  return 0;
}

}  // namespace

Machine::Machine(sim::SimConfig config)
    : simulator_(config),
      stateDirectory_(config.stateDir),
      ports_(Describe(config)),
      control_(ports_.size(), kInitialControl) {
  if (!stateDirectory_.empty() && stateDirectory_.back() != '/') stateDirectory_ += '/';
}

bool Machine::takeBoard() {
  if (boardTakers_ == 0 && !simulator_.attach()) return false;
  ++boardTakers_;
  return true;
}

void Machine::giveBoardBack() {
  if (boardTakers_ > 0 && --boardTakers_ == 0) simulator_.detach();
}

bool Machine::boardAnswers(std::size_t port) const {
  return simulator_.config().board == ports_[port].base;
}

std::uint8_t Machine::in(std::size_t port, std::uint16_t offset) {
  return simulator_.in(static_cast<std::uint16_t>(ports_[port].base + offset));
}

void Machine::out(std::size_t port, std::uint16_t offset, std::uint8_t value) {
  simulator_.out(static_cast<std::uint16_t>(ports_[port].base + offset), value);
}

std::string Machine::activeDevice(std::size_t port) const {
  // The claim is a lock on a file: held by anyone, a lock of our own is refused.
  const sim::UniqueFd probe(
      ::open(LockPath(*this, port, ".claim").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!probe.valid() || ::flock(probe.get(), LOCK_EX | LOCK_NB) == 0) return "none";
  return "ppdev" + std::to_string(port);
}

void Machine::frobControl(std::size_t port, std::uint8_t mask, std::uint8_t value) {
  control_[port] = static_cast<std::uint8_t>(((control_[port] & ~mask) ^ value) & kWritableControl);
  out(port, kControl, control_[port]);
}

PpdevFile::PpdevFile(Machine& machine, std::size_t port)
    : machine_(machine),
      port_(port),
      mode_(IEEE1284_MODE_COMPAT),
      phase_(kPhaseForwardIdle),
      savedControl_(kInitialControl) {}

PpdevFile::~PpdevFile() {
  if (!registered_) return;
  // A file closed outside compatibility mode is taken back to it, claiming the port again
  // if it was released: in EPP mode that pulses INIT.
  if (mode_ != IEEE1284_MODE_COMPAT && (claimed_ || claim() == 0)) {
    std::fprintf(stderr, "%s", kNegotiatedBack);
    negotiate(IEEE1284_MODE_COMPAT);
  }
  if (claimed_) release();
}

int PpdevFile::registerDevice() {
  // The kernel registers the device at its first claim: an exclusive one only on a port
  // nobody else has registered, and then it keeps every other device out.
  devicesLock_ = sim::UniqueFd(
      ::open(LockPath(machine_, port_, ".devices").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!devicesLock_.valid()) return -errno;
  if (::flock(devicesLock_.get(), (exclusive_ ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    devicesLock_.reset();
    return -ENXIO;
  }
  registered_ = true;
  return 0;
}

int PpdevFile::claim() {
  if (claimed_) return -EINVAL;
  if (!registered_) {
    if (const int refused = registerDevice(); refused != 0) return refused;
  }
  if (!claimLock_.valid()) {
    claimLock_ = sim::UniqueFd(
        ::open(LockPath(machine_, port_, ".claim").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!claimLock_.valid()) return -errno;
  }
  // Waits while another device holds the port, as the kernel does; a signal ends the wait.
  if (::flock(claimLock_.get(), LOCK_EX) != 0) return -errno;
  if (!machine_.takeBoard()) {
    ::flock(claimLock_.get(), LOCK_UN);
    return -EBUSY;
  }
  claimed_ = true;
  machine_.frobControl(port_, 0xFF, savedControl_);
  return 0;
}

int PpdevFile::release() {
  if (!claimed_) return -EINVAL;
  savedControl_ = machine_.control(port_);
  machine_.giveBoardBack();  // the board's state is saved before the next claimer reads it
  ::flock(claimLock_.get(), LOCK_UN);
  claimed_ = false;
  return 0;
}

int PpdevFile::negotiate(int mode) {
  if (mode == mode_) return 0;
  if ((mode & ~IEEE1284_ADDR) == (mode_ & ~IEEE1284_ADDR)) {
    mode_ = mode;
    return 0;
  }
  if (mode_ != IEEE1284_MODE_COMPAT) terminate();
  if (mode == IEEE1284_MODE_COMPAT) return 0;
  // The board is no IEEE 1284 peripheral: it never answers a negotiation.
  return -EIO;
}

void PpdevFile::terminate() {
  // Only the EPP termination is played on the lines; the library uses no other mode.
  if (eppMode()) {
    machine_.frobControl(port_, PARPORT_CONTROL_INIT, 0);
    machine_.frobControl(port_, PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT,
                         PARPORT_CONTROL_SELECT | PARPORT_CONTROL_INIT);
  }
  mode_ = IEEE1284_MODE_COMPAT;
  phase_ = kPhaseForwardIdle;
}

bool PpdevFile::eppMode() const {
  return (mode_ & ~(IEEE1284_ADDR | IEEE1284_DEVICEID)) == IEEE1284_MODE_EPP;
}

std::uint16_t PpdevFile::eppRegister() const {
  return (mode_ & IEEE1284_ADDR) != 0 ? kEppAddress : kEppData;
}

int PpdevFile::ioctl(unsigned long request, void* argument) {
  switch (request) {
    case PPCLAIM: return claim();
    case PPEXCL:
      if (registered_) return exclusive_ ? 0 : -EINVAL;  // too late once registered
      exclusive_ = true;
      return 0;
    case PPSETMODE: {
      int mode = 0;
      if (const int fault = Get(argument, mode); fault != 0) return fault;
      mode_ = mode;
      phase_ = PhaseFor(mode);
      return 0;
    }
    case PPGETMODE: return Put(argument, mode_);
    case PPSETPHASE: return Get(argument, phase_);
    case PPGETPHASE: return Put(argument, phase_);
    case PPGETMODES: {
      const PortDescription& port = machine_.ports()[port_];
      const unsigned int modes = PARPORT_MODE_PCSPP |
                                 (port.bidirectional ? PARPORT_MODE_TRISTATE : 0u) |
                                 (port.epp ? PARPORT_MODE_EPP : 0u);
      return Put(argument, modes);
    }
    case PPSETFLAGS: {
      int flags = 0;
      if (const int fault = Get(argument, flags); fault != 0) return fault;
      flags_ = flags & PP_FLAGMASK;
      return 0;
    }
    case PPGETFLAGS: return Put(argument, flags_);
    default: break;
  }
  // Everything else needs the port claimed.
  if (!claimed_) return -EINVAL;
  return controlIoctl(request, argument);
}

int PpdevFile::controlIoctl(unsigned long request, void* argument) {
  switch (request) {
    case PPRSTATUS: return Put(argument, machine_.in(port_, kStatus));
    case PPRDATA: return Put(argument, machine_.in(port_, kData));
    case PPRCONTROL:
      return Put(argument, static_cast<std::uint8_t>(machine_.control(port_) & kControlLines));
    case PPYIELD: {
      // Lets a waiting claimer in, as the kernel does when someone waits.
      release();
      return claim();
    }
    case PPRELEASE: return release();
    case PPNEGOT: {
      int mode = 0;
      if (const int fault = Get(argument, mode); fault != 0) return fault;
      return negotiate(mode);
    }
    case PPWCONTROL: {
      std::uint8_t value = 0;
      if (const int fault = Get(argument, value); fault != 0) return fault;
      if ((value & kDirectionBit) != 0) machine_.frobControl(port_, kDirectionBit, kDirectionBit);
      machine_.frobControl(port_, kControlLines, static_cast<std::uint8_t>(value & kControlLines));
      return 0;
    }
    case PPWDATA: {
      std::uint8_t value = 0;
      if (const int fault = Get(argument, value); fault != 0) return fault;
      machine_.out(port_, kData, value);
      return 0;
    }
    case PPFCONTROL: {
      ppdev_frob_struct frob{};
      if (const int fault = Get(argument, frob); fault != 0) return fault;
      if ((frob.mask & kDirectionBit) != 0)
        machine_.frobControl(port_, kDirectionBit, frob.val & kDirectionBit);
      machine_.frobControl(port_, frob.mask & kControlLines, frob.val & kControlLines);
      return 0;
    }
    case PPDATADIR: {
      int reverse = 0;
      if (const int fault = Get(argument, reverse); fault != 0) return fault;
      machine_.frobControl(port_, kDirectionBit, reverse != 0 ? kDirectionBit : 0);
      return 0;
    }
    case PPCLRIRQ: return Put(argument, 0);  // no IRQ, so none counted
    case PPWCTLONIRQ: return Get(argument, controlOnIrq_);
    case PPGETTIME: return Put(argument, timeout_);
    case PPSETTIME: {
      timeval timeout{};
      if (const int fault = Get(argument, timeout); fault != 0) return fault;
      if (timeout.tv_sec < 0 || timeout.tv_usec < 0) return -EINVAL;
      timeout_ = timeout;
      return 0;
    }
    default: return -ENOTTY;
  }
}

ssize_t PpdevFile::read(void* buffer, std::size_t length, bool nonblocking) {
  if (!claimed_) return -EINVAL;
  if (length == 0) return 0;
  // In any other mode the kernel negotiates a reverse mode first, which the board never
  // answers.
  if (!eppMode()) return -EIO;
  if (!machine_.boardAnswers(port_)) {
    // A timed-out cycle reads nothing, and the kernel tries again until a signal comes:
    // the process would hang there, so the shim ends it, saying so.
    if (nonblocking) return -EAGAIN;
    std::fprintf(stderr, "%s", kEppReadLoops);
    std::_Exit(EXIT_FAILURE);
  }
  const std::size_t count = std::min(length, kReadChunk);
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = machine_.in(port_, eppRegister());
  return static_cast<ssize_t>(count);
}

ssize_t PpdevFile::write(const void* buffer, std::size_t length) {
  if (!claimed_) return -EINVAL;
  if (length == 0) return 0;
  // The printer protocol of compatibility mode is not played: the library never uses it.
  if (!eppMode()) return -EIO;
  if (!machine_.boardAnswers(port_)) return 0;  // the first cycle timed out
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < length; ++i) machine_.out(port_, eppRegister(), bytes[i]);
  return static_cast<ssize_t>(length);
}

}  // namespace omrix::ppdev_shim
