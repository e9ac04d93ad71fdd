// What the kernel's ppdev and parport_pc drivers do for /dev/parportN, played on the ports of
// the board simulator. Processes share a port as they share a real one: the board's state
// lives in the simulator's state directory, and the kernel's device registration and claim
// are locks on files beside it, so the kernel's rules hold between processes.
#pragma once

#include <sys/time.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "omrix/sim/simulator.h"
#include "omrix/sim/state_store.h"

namespace omrix::ppdev_shim {

// What the kernel logs when a file is closed outside compatibility mode: it terminates the
// mode then, and out of EPP mode that pulses nInit.
inline constexpr const char* kNegotiatedBack =
    "ppdev shim: negotiated back to compatibility mode because user-space forgot\n";
// What the shim says before it ends a process that a blocking EPP read would hang.
inline constexpr const char* kEppReadLoops =
    "ppdev shim: an EPP read timed out and would be retried in the kernel until a signal\n";

struct PortDescription {
  std::uint16_t base = 0;
  bool bidirectional = false;
  bool epp = false;
};

// The machine as one process sees it: the simulator, and each port's control register as
// parport_pc keeps it (a copy the driver writes through, shared by every open file).
class Machine {
 public:
  explicit Machine(sim::SimConfig config);  // config.stateDir must name a directory

  const std::vector<PortDescription>& ports() const { return ports_; }
  const std::string& stateDirectory() const { return stateDirectory_; }

  // The board is taken while any port of this process is claimed.
  bool takeBoard();
  void giveBoardBack();

  // Whether a board sits behind the port to answer its EPP cycles; without one, each cycle
  // ends in the port's time-out.
  bool boardAnswers(std::size_t port) const;
  std::uint8_t in(std::size_t port, std::uint16_t offset);
  void out(std::size_t port, std::uint16_t offset, std::uint8_t value);
  std::uint8_t control(std::size_t port) const { return control_[port]; }
  // The device the kernel lists as holding the port, "ppdev<N>", or "none".
  std::string activeDevice(std::size_t port) const;
  // Changes the bits in mask to value, as far as the port lets them be written.
  void frobControl(std::size_t port, std::uint8_t mask, std::uint8_t value);

 private:
  sim::Simulator simulator_;
  std::string stateDirectory_;
  std::vector<PortDescription> ports_;
  std::vector<std::uint8_t> control_;
  int boardTakers_ = 0;
};

// One open /dev/parportN. Results are 0 or a count, or -errno as the kernel returns them.
class PpdevFile {
 public:
  PpdevFile(Machine& machine, std::size_t port);
  ~PpdevFile();  // what the kernel does when the last descriptor is closed
  PpdevFile(const PpdevFile&) = delete;
  PpdevFile& operator=(const PpdevFile&) = delete;

  int ioctl(unsigned long request, void* argument);
  // `nonblocking`: the file's O_NONBLOCK.
  ssize_t read(void* buffer, std::size_t length, bool nonblocking);
  ssize_t write(const void* buffer, std::size_t length);

 private:
  int registerDevice();
  int claim();
  int release();
  int negotiate(int mode);
  void terminate();
  int controlIoctl(unsigned long request, void* argument);
  bool eppMode() const;
  std::uint16_t eppRegister() const;

  Machine& machine_;
  std::size_t port_;
  sim::UniqueFd devicesLock_;  // held shared, or exclusive after PPEXCL, while registered
  sim::UniqueFd claimLock_;    // held exclusive while claimed
  bool exclusive_ = false;
  bool registered_ = false;
  bool claimed_ = false;
  int mode_;
  int phase_;
  int flags_ = 0;
  std::uint8_t savedControl_;
  std::uint8_t controlOnIrq_ = 0;
  timeval timeout_{};
};

}  // namespace omrix::ppdev_shim
