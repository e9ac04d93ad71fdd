// How the library makes each port backend of the list a user chooses from with OMRIX_PORT_IO
// (sim and the system's own ways to the port).
#pragma once

#include <memory>
#include <string>

#include "platform.h"
#include "port_backend_listing.h"

namespace omrix::platform {

// Nothing, with the reason in `problem`, when the backend cannot be had here.
using MakePortBackend = std::unique_ptr<PortBackend> (*)(const std::string& libraryDirectory,
                                                         std::string& problem);

// The operating system's own ways to the port: Linux's, and the port driver on Windows.
std::unique_ptr<PortBackend> makePpdevPortBackend(const std::string& libraryDirectory,
                                                  std::string& problem);
std::unique_ptr<PortBackend> makeDirectPortBackend(const std::string& libraryDirectory,
                                                   std::string& problem);
std::unique_ptr<PortBackend> makePortgatePortBackend(const std::string& libraryDirectory,
                                                     std::string& problem);

// The maker of the listed backend of that name; null for a name the list does not have.
MakePortBackend portBackendMaker(const std::string& name);

}  // namespace omrix::platform
