#include "platform.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "backends.h"
#include "port_backend_kinds.h"
#include "system_impl.h"

namespace omrix::platform {

namespace {

struct Current {
  std::unique_ptr<PortBackend> backend = makeNullBackend();
  std::unique_ptr<System> system = makeSystem();
  std::unique_ptr<FileSystem> files = makeFileSystem();
  std::unique_ptr<PortBackend> forcedBackend;
};

Current& current() {
  static Current parts;
  return parts;
}

}  // namespace

PortBackend& portBackend() { return *current().backend; }
Clock& clock() { return current().backend->clock(); }
System& system() { return *current().system; }
FileSystem& files() { return *current().files; }

namespace {

// What a user could point at a directory or board of their own, as glibc ignores LD_* in a
// secure execution. OMRIX_PORT_IO stays: without it the raised capability would be useless.
constexpr const char* kRedirectingVariables[] = {"OMRIX_LIBRARY_DIR", "OMRIX_STATE_DIR",
                                                 "OMRIX_SIM"};

bool Redirects(const char* name) {
  for (const char* redirecting : kRedirectingVariables)
    if (std::strcmp(name, redirecting) == 0) return true;
  return false;
}

}  // namespace

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || (Redirects(name) && system().secureExecution())) return "";
  return value;
}

std::string notices() {
  std::string lines = portBackend().notice();
  if (!system().secureExecution()) return lines;
  std::string ignored;
  for (const char* name : kRedirectingVariables)
    if (std::getenv(name) != nullptr) ignored += (ignored.empty() ? "" : ", ") + std::string(name);
  if (!ignored.empty()) {
    lines += "-> WARNING: " + ignored + " ignored, the program runs with raised privileges\n";
  }
  return lines;
}

bool selectPortBackend(const std::string& libraryDirectory, std::string& problem) {
  Current& parts = current();
  if (parts.forcedBackend) {
    parts.backend = std::move(parts.forcedBackend);
    return true;
  }
  const std::string name = environment("OMRIX_PORT_IO");
  const MakePortBackend make = portBackendMaker(name.empty() ? kPortBackendListing[0].name : name);
  if (make == nullptr) {
    parts.backend = makeNullBackend();
    problem = "OMRIX_PORT_IO=" + name + " names no port backend (" + portBackendNames() + ")";
    return false;
  }
  parts.backend = make(libraryDirectory, problem);
  if (parts.backend) return true;
  parts.backend = makeNullBackend();
  return false;
}

void overridePortBackend(std::unique_ptr<PortBackend> backend) {
  current().backend = backend ? std::move(backend) : makeNullBackend();
}

void overrideSystem(std::unique_ptr<System> system) {
  current().system = system ? std::move(system) : makeSystem();
}

void overrideFileSystem(std::unique_ptr<FileSystem> fileSystem) {
  current().files = fileSystem ? std::move(fileSystem) : makeFileSystem();
}

void forceNextPortBackend(std::unique_ptr<PortBackend> backend) {
  current().forcedBackend = std::move(backend);
}

bool FileSystem::listDirectory(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error))
    names.push_back(entry->path().filename().string());
  return !error;
}

}  // namespace omrix::platform
