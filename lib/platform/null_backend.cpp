#include "backends.h"

namespace omrix::platform {

namespace {

class NullBackend final : public PortBackend {
 public:
  bool mayAccessPorts() override { return false; }

 protected:
  std::uint8_t rawIn(std::uint16_t) override { return 0xFF; }
  void rawOut(std::uint16_t, std::uint8_t) override {}
  bool grant(const PortRange&) override { return false; }
  bool revoke(const PortRange&) override { return false; }
};

}  // namespace

std::unique_ptr<PortBackend> makeNullBackend() { return std::make_unique<NullBackend>(); }

}  // namespace omrix::platform
