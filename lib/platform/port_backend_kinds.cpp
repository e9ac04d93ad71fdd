#include "port_backend_kinds.h"

#include <cstddef>
#include <iterator>

#include "backends.h"

namespace omrix::platform {

namespace {

std::unique_ptr<PortBackend> MakeSim(const std::string& libraryDirectory, std::string&) {
  return makeSimBackend(processSimulator(libraryDirectory));
}

struct PortBackendKind {
  const char* name;
  MakePortBackend make;
};

constexpr PortBackendKind kKinds[] = {
    {"sim", MakeSim},
#ifdef _WIN32
    {"portgate", makePortgatePortBackend},
#else
    {"ppdev", makePpdevPortBackend},
    {"direct", makeDirectPortBackend},
#endif
};

constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// A backend listed without a maker, or in another order, fails the build here.
constexpr bool MatchesTheListing() {
  if (std::size(kKinds) != std::size(kPortBackendListing)) return false;
  for (std::size_t i = 0; i < std::size(kKinds); ++i)
    if (!SameText(kKinds[i].name, kPortBackendListing[i].name)) return false;
  return true;
}
static_assert(MatchesTheListing(), "one maker per listed port backend, in the list's order");

}  // namespace

MakePortBackend portBackendMaker(const std::string& name) {
  for (const PortBackendKind& kind : kKinds)
    if (name == kind.name) return kind.make;
  return nullptr;
}

}  // namespace omrix::platform
