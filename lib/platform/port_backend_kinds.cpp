// The port backends a user can choose with OMRIX_PORT_IO: the one table. omrixctl's help and
// its check of --port-io are generated from the entries' first two fields at build time, so
// each entry keeps its name and description on the line that opens it.
#include "port_backend_kinds.h"

#include "backends.h"
#include "ieee1284_ops.h"
#include "port_lock.h"

namespace omrix::platform {

const std::vector<PortBackendKind>& PortBackendKinds() {
  static const std::vector<PortBackendKind> kinds = {
      {"sim", "the simulated omrix board (the default)",
       [](const std::string& libraryDirectory, std::string&) {
         return makeSimBackend(processSimulator(libraryDirectory));
       }},
      {"ppdev", "/dev/parportN through the kernel's ppdev driver and libieee1284 (group lp)",
       [](const std::string&, std::string& problem) -> std::unique_ptr<PortBackend> {
         Ieee1284Ops ops{};
         if (!loadIeee1284(ops, problem)) return nullptr;
         return makePpdevBackend(ops, kPortLockDirectory);
       }},
      {"direct", "ioperm and inb/outb on exactly the granted range (CAP_SYS_RAWIO)",
       [](const std::string&, std::string& problem) -> std::unique_ptr<PortBackend> {
         if (!directAllowedInThisProcess(problem)) return nullptr;
         return makeDirectBackend({realDirectPortOps(), kPortLockDirectory, kDirectAllowList});
       }},
  };
  return kinds;
}

std::string PortBackendNames() {
  std::string names;
  for (const PortBackendKind& kind : PortBackendKinds())
    names += (names.empty() ? "" : ", ") + std::string(kind.name);
  return names;
}

}  // namespace omrix::platform
