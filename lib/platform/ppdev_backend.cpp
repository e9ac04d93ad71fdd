// The parallel port through the kernel's ppdev driver (/dev/parportN), on libieee1284: no root
// needed, only membership of the group that owns the device (lp).
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "backends.h"
#include "ieee1284_ops.h"
#include "port_lock.h"

namespace omrix::platform {

namespace {

// Register offsets from the base.
constexpr std::uint16_t kData = 0;
constexpr std::uint16_t kStatus = 1;
constexpr std::uint16_t kControl = 2;
constexpr std::uint16_t kEppAddress = 3;
constexpr std::uint16_t kEppData = 4;

// What the control register holds beside the four lines.
constexpr std::uint8_t kControlLines = 0x0F;
constexpr std::uint8_t kIrqEnable = 0x10;
constexpr std::uint8_t kReverse = 0x20;
// Pins no parallel port connects read as 1, as on any PC-style port.
constexpr std::uint8_t kUnconnectedStatus = 0x07;
constexpr std::uint8_t kUnconnectedControl = 0xC0;

// How long a claim waits for another program to give the port back, and how often it asks.
constexpr std::uint32_t kClaimPatienceMs = 3000;
constexpr std::uint32_t kClaimRetryMs = 100;
// What the kernel lists as a free port's active device.
constexpr const char* kNoActiveDevice = "none";
constexpr const char* kDeviceDirectory = "/dev/";
constexpr const char* kDeviceFilePrefix = "/dev/parport";
// The nodes libieee1284 tries, /dev/parport0 to /dev/parport7, while it looks for ports.
constexpr int kProbedDeviceNodes = 8;

// Leaves EPP mode without a termination handshake: the kernel would pulse nInit to end EPP
// when the port is released or closed, after the lines were put at rest, and the board sees
// it. A transfer of nothing sets compatibility mode and moves no line.
void RestInCompatibilityMode(const Ieee1284Ops& ops, parport* port) {
  const char nothing = 0;
  ops.compat_write(port, 0, &nothing, 0);
}

// One port found and opened, claimed while this program drives it: the list it came from
// stays until it is closed.
class OpenPort {
 public:
  OpenPort(const Ieee1284Ops& ops, parport_list list, parport* port)
      : ops_(ops), list_(list), port_(port) {}
  ~OpenPort() {
    if (claimed) {
      RestInCompatibilityMode(ops_, port_);
      ops_.release(port_);
    }
    ops_.close(port_);
    ops_.free_ports(&list_);
  }
  OpenPort(const OpenPort&) = delete;
  OpenPort& operator=(const OpenPort&) = delete;
  parport* get() const { return port_; }

  bool claimed = false;

 private:
  const Ieee1284Ops& ops_;
  parport_list list_;
  parport* port_;
};

// libieee1284 also offers ports it would reach by raw I/O (/dev/port, ioperm) where ppdev has
// none; ppdev was asked for, so only its devices count.
bool IsPpdevPort(const parport& port) {
  return port.filename != nullptr &&
         std::strncmp(port.filename, kDeviceFilePrefix, std::strlen(kDeviceFilePrefix)) == 0;
}

GrantRefusal RefusalFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return GrantRefusal::PermissionDenied;
    case EBUSY: return GrantRefusal::Busy;
    default: return GrantRefusal::None;
  }
}

void RealSleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string RealActiveDevice(const char* portName) {
  std::ifstream active(std::string("/proc/sys/dev/parport/") + portName + "/devices/active");
  std::string device;
  std::getline(active, device);
  return device;
}

std::string RealProbedPort() {
  for (int i = 0; i < kProbedDeviceNodes; ++i) {
    const std::string node = kDeviceFilePrefix + std::to_string(i);
    if (::access(node.c_str(), R_OK) == 0) return node.substr(std::strlen(kDeviceDirectory));
  }
  return {};
}

// Every other process with the device open, as far as this user may look: the kernel names
// only its device ("ppdev0"), never the program behind it.
std::string RealHolders(const char* deviceFile) {
  std::string holders;
  const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
  if (!processes) return holders;
  const long self = static_cast<long>(::getpid());
  while (const dirent* process = ::readdir(processes.get())) {
    char* end = nullptr;
    const long pid = std::strtol(process->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == self) continue;
    const std::string fdDirectory = "/proc/" + std::string(process->d_name) + "/fd/";
    const std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdDirectory.c_str()), ::closedir);
    if (!fds) continue;
    while (const dirent* fd = ::readdir(fds.get())) {
      char target[64];
      const ssize_t length =
          ::readlink((fdDirectory + fd->d_name).c_str(), target, sizeof target - 1);
      if (length <= 0) continue;
      target[length] = '\0';
      if (std::strcmp(target, deviceFile) != 0) continue;
      holders += (holders.empty() ? "" : "; ") + processDescription(pid);
      break;
    }
  }
  return holders;
}

class PpdevBackend final : public PortBackend {
 public:
  PpdevBackend(const Ieee1284Ops& ops, std::string lockDirectory, const PpdevKernel& kernel)
      : ops_(ops),
        lockDirectory_(std::move(lockDirectory)),
        sleep_(kernel.sleep != nullptr ? kernel.sleep : RealSleep),
        activeDevice_(kernel.activeDevice != nullptr ? kernel.activeDevice : RealActiveDevice),
        probedPort_(kernel.probedPort != nullptr ? kernel.probedPort : RealProbedPort),
        holders_(kernel.holders != nullptr ? kernel.holders : RealHolders) {}

  void lend() override {
    for (auto& [base, held] : held_) {
      if (!held.port->claimed) continue;
      RestInCompatibilityMode(ops_, held.port->get());
      ops_.release(held.port->get());
      held.port->claimed = false;
    }
  }

  bool reclaim() override {
    for (auto& [base, held] : held_) {
      if (held.port->claimed) continue;
      if (!Claim(held.port->get())) return false;
      held.port->claimed = true;
    }
    return true;
  }

 protected:
  // A port lent to another program reads as an absent one, and nothing is written to it.
  std::uint8_t rawIn(std::uint16_t port) override {
    Held* held = Find(port);
    if (held == nullptr || !held->port->claimed) return 0xFF;
    parport* p = held->port->get();
    switch (port - held->base) {
      case kData: return Byte(ops_.read_data(p));
      case kStatus: {
        const int status = ops_.read_status(p);
        if (status < 0) return 0xFF;
        return static_cast<std::uint8_t>(((status ^ S1284_INVERTED) & 0xF8) | kUnconnectedStatus);
      }
      case kControl: {
        const int lines = ops_.read_control(p);
        if (lines < 0) return 0xFF;
        return static_cast<std::uint8_t>(((lines ^ C1284_INVERTED) & kControlLines) |
                                         (held->control & (kIrqEnable | kReverse)) |
                                         kUnconnectedControl);
      }
      case kEppAddress: return EppRead(ops_.epp_read_addr, p);
      case kEppData: return EppRead(ops_.epp_read_data, p);
      default: return 0xFF;
    }
  }

  void rawOut(std::uint16_t port, std::uint8_t value) override {
    Held* held = Find(port);
    if (held == nullptr || !held->port->claimed) return;
    parport* p = held->port->get();
    switch (port - held->base) {
      case kData: ops_.write_data(p, value); break;
      case kControl:
        // The direction is the data-direction call's; the IRQ enable only a shadow, since
        // the library never waits for an interrupt.
        if ((value ^ held->control) & kReverse) ops_.data_dir(p, (value & kReverse) != 0 ? 1 : 0);
        ops_.write_control(p, static_cast<unsigned char>((value & kControlLines) ^ C1284_INVERTED));
        held->control = value;
        break;
      case kEppAddress: EppWrite(ops_.epp_write_addr, p, value); break;
      case kEppData: EppWrite(ops_.epp_write_data, p, value); break;
      default: break;  // the status register is read-only
    }
  }

  bool grant(const PortRange& range) override {
    // The port is opened shared, and the kernel lets a second claim wait for as long as the
    // first is held: another omrix program is kept off by the lock instead, at once.
    PortLock lock;
    std::string detail;
    const PortLock::Result locked = lock.acquire(lockDirectory_, range.first, detail);
    if (locked != PortLock::Result::Held) {
      refuse(locked == PortLock::Result::Busy ? GrantRefusal::Busy : GrantRefusal::LockFailed,
             detail);
      return false;
    }
    if (!portsFound_ && !WaitForProbedPort()) return false;
    parport_list list{};
    if (ops_.find_ports(&list, 0) != E1284_OK) {
      refuse(GrantRefusal::NoPort);
      return false;
    }
    portsFound_ = true;
    parport* found = nullptr;
    for (int i = 0; i < list.portc && found == nullptr; ++i)
      if (list.portv[i]->base_addr == range.first && IsPpdevPort(*list.portv[i]))
        found = list.portv[i];
    if (found == nullptr) {
      ops_.free_ports(&list);
      refuse(GrantRefusal::NoPort);
      return false;
    }
    // Not exclusive: while an emulation design runs, other programs use the port through it.
    // Asked for no capabilities, libieee1284 does not claim the port to learn them.
    errno = 0;
    if (ops_.open(found, 0, nullptr) != E1284_OK) {
      refuse(RefusalFromErrno(errno));
      ops_.free_ports(&list);
      return false;
    }
    auto port = std::make_unique<OpenPort>(ops_, list, found);
    if (!Claim(found)) return false;
    port->claimed = true;
    held_[range.first] = Held{range.first, std::move(lock), std::move(port), 0};
    return true;
  }

  bool revoke(const PortRange& range) override { return held_.erase(range.first) == 1; }

 private:
  struct Held {
    std::uint32_t base = 0;
    PortLock lock;  // declared first, so given up only after the port is closed
    std::unique_ptr<OpenPort> port;
    std::uint8_t control = 0;  // the register as last written: direction and IRQ enable
  };

  // Whether the kernel lists the named port as free; where it cannot tell, the port counts as
  // free.
  bool Free(const char* portName) const {
    const std::string active = portName != nullptr ? activeDevice_(portName) : "";
    return active.empty() || active == kNoActiveDevice;
  }

  // Claims the port, waiting a bounded time while another program keeps it; false, refused
  // with the reason, when it could not. The kernel's own claim would wait for as long as the
  // other program holds the port, so it is asked for only once the kernel lists no active
  // device on the port, where it tells. A port another program registered exclusively is
  // refused at once (ENXIO), and is waited for just the same.
  bool Claim(parport* port) {
    for (std::uint32_t waited = 0;; waited += kClaimRetryMs) {
      if (Free(port->name)) {
        errno = 0;
        if (ops_.claim(port) == E1284_OK) return true;
        if (errno != 0 && errno != EBUSY && errno != ENXIO) {
          refuse(RefusalFromErrno(errno));
          return false;
        }
      }
      if (waited >= kClaimPatienceMs) return RefuseBusy(port->filename);
      sleep_(kClaimRetryMs);
    }
  }

  // libieee1284 claims one port once per process while it looks for ports, and that claim
  // would wait for as long as another program holds the port: it is let run only once the
  // kernel lists that port as free.
  bool WaitForProbedPort() {
    const std::string probed = probedPort_();
    if (probed.empty()) return true;
    for (std::uint32_t waited = 0; !Free(probed.c_str()); waited += kClaimRetryMs) {
      if (waited >= kClaimPatienceMs) return RefuseBusy((kDeviceDirectory + probed).c_str());
      sleep_(kClaimRetryMs);
    }
    return true;
  }

  bool RefuseBusy(const char* deviceFile) {
    refuse(GrantRefusal::Busy, deviceFile != nullptr ? holders_(deviceFile) : "");
    return false;
  }

  Held* Find(std::uint16_t port) {
    for (auto& [base, held] : held_)
      if (port >= base && port - base <= kEppData) return &held;
    return nullptr;
  }

  static std::uint8_t Byte(int value) {
    return value < 0 ? 0xFF : static_cast<std::uint8_t>(value);
  }

  // A read whose EPP cycle timed out (no board answered) would otherwise be retried in the
  // kernel until a signal came; without blocking it fails, and reads as an absent port does.
  template <typename Read>
  static std::uint8_t EppRead(Read read, parport* p) {
    char byte = 0;
    return read(p, F1284_NONBLOCK, &byte, 1) == 1 ? static_cast<std::uint8_t>(byte) : 0xFF;
  }

  // A write whose cycle timed out returns at once.
  template <typename Write>
  static void EppWrite(Write write, parport* p, std::uint8_t value) {
    const char byte = static_cast<char>(value);
    write(p, 0, &byte, 1);
  }

  const Ieee1284Ops ops_;
  std::string lockDirectory_;
  void (*sleep_)(std::uint32_t ms);
  std::string (*activeDevice_)(const char* portName);
  std::string (*probedPort_)();
  std::string (*holders_)(const char* deviceFile);
  bool portsFound_ = false;  // libieee1284 has looked for ports in this backend's time
  std::map<std::uint32_t, Held> held_;
};

template <typename Function>
bool Bind(void* library, const char* name, Function& function, std::string& problem) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (function == nullptr && problem.empty()) problem = std::string("libieee1284 has no ") + name;
  return function != nullptr;
}

}  // namespace

bool loadIeee1284(Ieee1284Ops& ops, std::string& problem) {
  // Loaded once and kept for the process, as a system library is.
  static void* const library = dlopen("libieee1284.so.3", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    problem = "ppdev needs libieee1284 (Debian package libieee1284-3): " + std::string(dlerror());
    return false;
  }
  problem.clear();
  Bind(library, "ieee1284_find_ports", ops.find_ports, problem);
  Bind(library, "ieee1284_free_ports", ops.free_ports, problem);
  Bind(library, "ieee1284_open", ops.open, problem);
  Bind(library, "ieee1284_close", ops.close, problem);
  Bind(library, "ieee1284_claim", ops.claim, problem);
  Bind(library, "ieee1284_release", ops.release, problem);
  Bind(library, "ieee1284_read_data", ops.read_data, problem);
  Bind(library, "ieee1284_write_data", ops.write_data, problem);
  Bind(library, "ieee1284_data_dir", ops.data_dir, problem);
  Bind(library, "ieee1284_read_status", ops.read_status, problem);
  Bind(library, "ieee1284_read_control", ops.read_control, problem);
  Bind(library, "ieee1284_write_control", ops.write_control, problem);
  Bind(library, "ieee1284_compat_write", ops.compat_write, problem);
  Bind(library, "ieee1284_epp_read_data", ops.epp_read_data, problem);
  Bind(library, "ieee1284_epp_write_data", ops.epp_write_data, problem);
  Bind(library, "ieee1284_epp_read_addr", ops.epp_read_addr, problem);
  Bind(library, "ieee1284_epp_write_addr", ops.epp_write_addr, problem);
  return problem.empty();
}

std::unique_ptr<PortBackend> makePpdevBackend(const Ieee1284Ops& ops,
                                              const std::string& lockDirectory,
                                              const PpdevKernel& kernel) {
  return std::make_unique<PpdevBackend>(ops, lockDirectory, kernel);
}

}  // namespace omrix::platform
