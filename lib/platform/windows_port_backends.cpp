#include "port_backend_kinds.h"

namespace omrix::platform {

// Both reach the port through Linux; on Windows the port driver is the way to the hardware.
std::unique_ptr<PortBackend> makePpdevPortBackend(const std::string&, std::string& problem) {
  problem = "the ppdev port backend exists on Linux only";
  return nullptr;
}

std::unique_ptr<PortBackend> makeDirectPortBackend(const std::string&, std::string& problem) {
  problem = "the direct port backend exists on Linux only";
  return nullptr;
}

}  // namespace omrix::platform
