#include <cerrno>
#include <map>

#include "backends.h"
#include "port_lock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define OMRIX_HAVE_PORT_IO 1
#endif

namespace omrix::platform {

namespace {

// Asking for a port no parallel port uses tells whether the kernel lets this process do port
// I/O at all, without disturbing a range that is already granted.
constexpr unsigned long kProbePort = 0x80;

int realIoperm(unsigned long first, unsigned long count, int turnOn) {
#ifdef OMRIX_HAVE_PORT_IO
  return ::ioperm(first, count, turnOn) == 0 ? 0 : errno;
#else
  (void)first;
  (void)count;
  (void)turnOn;
  return ENOSYS;
#endif
}

std::uint8_t realInb(std::uint16_t port) {
#ifdef OMRIX_HAVE_PORT_IO
  return ::inb(port);
#else
  (void)port;
  return 0xFF;
#endif
}

void realOutb(std::uint8_t value, std::uint16_t port) {
#ifdef OMRIX_HAVE_PORT_IO
  ::outb(value, port);
#else
  (void)value;
  (void)port;
#endif
}

class DirectBackend final : public PortBackend {
 public:
  DirectBackend(const DirectPortOps& ops, std::string lockDirectory)
      : ops_(ops), lockDirectory_(std::move(lockDirectory)) {}

 protected:
  std::uint8_t rawIn(std::uint16_t port) override { return ops_.inb(port); }
  void rawOut(std::uint16_t port, std::uint8_t value) override { ops_.outb(value, port); }
  bool mayAccessPorts() override {
    if (ops_.ioperm(kProbePort, 1, 1) != 0) return false;
    ops_.ioperm(kProbePort, 1, 0);
    return true;
  }
  // Two programs on one port would clobber each other's cycles: the port is locked first.
  // A lock that cannot be made at all (no writable directory) does not stop the user.
  bool grant(const PortRange& range) override {
    PortLock lock;
    if (lock.acquire(lockDirectory_, range.first) == PortLock::Result::Busy) {
      refuse(GrantRefusal::Busy);
      return false;
    }
    if (ops_.ioperm(range.first, range.count, 1) != 0) return false;
    locks_[range.first] = std::move(lock);
    return true;
  }
  bool revoke(const PortRange& range) override {
    const bool revoked = ops_.ioperm(range.first, range.count, 0) == 0;
    locks_.erase(range.first);
    return revoked;
  }

 private:
  DirectPortOps ops_;
  std::string lockDirectory_;
  std::map<std::uint32_t, PortLock> locks_;  // by port base, while its range is held
};

}  // namespace

DirectPortOps realDirectPortOps() { return {realIoperm, realInb, realOutb}; }

std::unique_ptr<PortBackend> makeDirectBackend(const DirectPortOps& ops,
                                               const std::string& lockDirectory) {
  return std::make_unique<DirectBackend>(ops, lockDirectory);
}

}  // namespace omrix::platform
