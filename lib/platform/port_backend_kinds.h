// The port backends a user can choose with OMRIX_PORT_IO.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace omrix::platform {

struct PortBackendKind {
  const char* name;         // the value of OMRIX_PORT_IO
  const char* description;  // one line for people
  // Nothing, with the reason in `problem`, when the backend cannot be had here.
  std::unique_ptr<PortBackend> (*make)(const std::string& libraryDirectory, std::string& problem);
};

// The first is the default.
const std::vector<PortBackendKind>& PortBackendKinds();

// "sim, direct": the names in the table's order.
std::string PortBackendNames();

}  // namespace omrix::platform
