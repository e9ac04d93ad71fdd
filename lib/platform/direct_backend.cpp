#include <cerrno>

#include "backends.h"

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
  explicit DirectBackend(const DirectPortOps& ops) : ops_(ops) {}

 protected:
  std::uint8_t rawIn(std::uint16_t port) override { return ops_.inb(port); }
  void rawOut(std::uint16_t port, std::uint8_t value) override { ops_.outb(value, port); }
  bool mayAccessPorts() override {
    if (ops_.ioperm(kProbePort, 1, 1) != 0) return false;
    ops_.ioperm(kProbePort, 1, 0);
    return true;
  }
  bool grant(const PortRange& range) override {
    return ops_.ioperm(range.first, range.count, 1) == 0;
  }
  bool revoke(const PortRange& range) override {
    return ops_.ioperm(range.first, range.count, 0) == 0;
  }

 private:
  DirectPortOps ops_;
};

}  // namespace

DirectPortOps realDirectPortOps() { return {realIoperm, realInb, realOutb}; }

std::unique_ptr<PortBackend> makeDirectBackend(const DirectPortOps& ops) {
  return std::make_unique<DirectBackend>(ops);
}

}  // namespace omrix::platform
