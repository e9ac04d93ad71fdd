#include "platform.h"

#include <cstdlib>

#include "backends.h"
#include "port_backend_kinds.h"
#include "system_impl.h"

namespace omrix::platform {

namespace {

struct Current {
  std::unique_ptr<PortBackend> backend = makeNullBackend();
  std::unique_ptr<System> system = makeLinuxSystem();
  std::unique_ptr<FileSystem> files = makePosixFileSystem();
  std::unique_ptr<PortBackend> forcedBackend;
};

Current& current() {
  static Current parts;
  return parts;
}

}  // namespace

PortBackend& portBackend() { return *current().backend; }
System& system() { return *current().system; }
FileSystem& files() { return *current().files; }

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool selectPortBackend(const std::string& libraryDirectory, std::string& problem) {
  Current& parts = current();
  if (parts.forcedBackend) {
    parts.backend = std::move(parts.forcedBackend);
    return true;
  }
  const std::string name = environment("OMRIX_PORT_IO");
  for (const PortBackendKind& kind : PortBackendKinds()) {
    if (name == kind.name || (name.empty() && &kind == &PortBackendKinds().front())) {
      parts.backend = kind.make(libraryDirectory, problem);
      if (parts.backend) return true;
      parts.backend = makeNullBackend();
      return false;
    }
  }
  parts.backend = makeNullBackend();
  problem = "OMRIX_PORT_IO=" + name + " names no port backend (" + PortBackendNames() + ")";
  return false;
}

void overridePortBackend(std::unique_ptr<PortBackend> backend) {
  current().backend = backend ? std::move(backend) : makeNullBackend();
}

void overrideSystem(std::unique_ptr<System> system) {
  current().system = system ? std::move(system) : makeLinuxSystem();
}

void overrideFileSystem(std::unique_ptr<FileSystem> fileSystem) {
  current().files = fileSystem ? std::move(fileSystem) : makePosixFileSystem();
}

void forceNextPortBackend(std::unique_ptr<PortBackend> backend) {
  current().forcedBackend = std::move(backend);
}

}  // namespace omrix::platform
