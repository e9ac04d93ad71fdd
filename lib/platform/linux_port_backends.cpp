#include "backends.h"
#include "ieee1284_ops.h"
#include "port_backend_kinds.h"
#include "port_lock.h"

namespace omrix::platform {

std::unique_ptr<PortBackend> makePpdevPortBackend(const std::string&, std::string& problem) {
  Ieee1284Ops ops{};
  if (!loadIeee1284(ops, problem)) return nullptr;
  return makePpdevBackend(ops, kPortLockDirectory);
}

std::unique_ptr<PortBackend> makeDirectPortBackend(const std::string&, std::string& problem) {
  if (!directAllowedInThisProcess(problem)) return nullptr;
  return makeDirectBackend({realDirectPortOps(), kPortLockDirectory, kDirectAllowList});
}

}  // namespace omrix::platform
