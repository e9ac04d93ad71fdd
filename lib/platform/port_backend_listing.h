// The port backends a user can choose with OMRIX_PORT_IO, by name and description: the one list.
// The library makes the backends it names; omrixctl shows and checks them. Plain data with no
// library internals, so a program may include it beside the public header.
#pragma once

#include <string>

namespace omrix {

struct PortBackendListing {
  const char* name;         // the value of OMRIX_PORT_IO
  const char* description;  // one line for people
};

// The first is the default. Each system lists only the backends it has.
inline constexpr PortBackendListing kPortBackendListing[] = {
    {"sim", "the simulated omrix board (the default)"},
#ifdef _WIN32
    {"portgate",
     "IN/OUT on the ranges the PORTGATE kernel driver grants (PORTGATE.sys beside the "
     "program; administrator rights to install its service)"},
#else
    {"ppdev", "/dev/parportN through the kernel's ppdev driver and libieee1284 (group lp)"},
    {"direct", "ioperm and inb/outb on exactly the granted range (CAP_SYS_RAWIO)"},
#endif
};

inline bool isPortBackendName(const std::string& name) {
  for (const PortBackendListing& backend : kPortBackendListing)
    if (name == backend.name) return true;
  return false;
}

// "sim, ppdev, direct": the names in the list's order.
inline std::string portBackendNames() {
  std::string names;
  for (const PortBackendListing& backend : kPortBackendListing)
    names += (names.empty() ? "" : ", ") + std::string(backend.name);
  return names;
}

}  // namespace omrix
