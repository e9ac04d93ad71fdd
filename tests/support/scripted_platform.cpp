#include "scripted_platform.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace omrix::testing {

std::ostream& operator<<(std::ostream& out, const PortAccess& access) {
  char text[32];
  std::snprintf(text, sizeof text, "%c %04X %02X", access.direction, access.port, access.value);
  return out << text;
}

// The backend's own device, as the library uses it; while a recording port is the backend, the
// device tells the port and its world what it is asked.
class RecordingDevice final : public DriverDevice {
 public:
  platform::Handle open(const std::string& name, DeviceOpenMode mode) override {
    if (RecordingPort* port = CurrentPort()) {
      port->world_->calls.push_back("open device");
      port->world_->openedDeviceNames.push_back(name);
    }
    return BackendDevice().open(name, mode);
  }
  bool close(platform::Handle handle) override {
    if (RecordingPort* port = CurrentPort()) port->world_->calls.push_back("close device");
    return BackendDevice().close(handle);
  }
  bool request(platform::Handle handle, std::uint32_t code, const std::uint8_t* input,
               std::size_t inputSize, std::uint32_t& bytesReturned) override {
    RecordingPort* port = CurrentPort();
    if (port != nullptr) {
      port->world_->calls.push_back("request");
      RecordedRequest recorded;
      recorded.code = code;
      if (input != nullptr) recorded.input.assign(input, input + inputSize);
      port->requests_.push_back(recorded);
    }
    const bool answered = BackendDevice().request(handle, code, input, inputSize, bytesReturned);
    if (answered && port != nullptr && port->world_->bytesReturnedByRequest != 0)
      bytesReturned = port->world_->bytesReturnedByRequest;
    return answered;
  }

 private:
  static DriverDevice& BackendDevice() { return platform::portBackend().driverDevice(); }
  static RecordingPort* CurrentPort() {
    return dynamic_cast<RecordingPort*>(&platform::portBackend());
  }
};

std::uint8_t RecordingPort::rawIn(std::uint16_t port) {
  std::uint8_t value = defaultAnswer;
  if (!answers.empty()) {
    value = answers.front();
    answers.pop_front();
  }
  accesses.push_back({'i', port, value});
  return value;
}

void RecordingPort::rawOut(std::uint16_t port, std::uint8_t value) {
  accesses.push_back({'o', port, value});
}

std::vector<std::string> BusCycles(const std::vector<PortAccess>& accesses, std::uint32_t base) {
  std::vector<std::string> cycles;
  char text[32];
  for (std::size_t i = 0; i < accesses.size(); ++i) {
    const PortAccess& a = accesses[i];
    const bool address = a.direction == 'o' && a.port == base + 3;
    if (address && i + 1 < accesses.size() && accesses[i + 1].port == base + 4) {
      const PortAccess& d = accesses[++i];
      std::snprintf(text, sizeof text, "%c %X %02X", d.direction == 'o' ? 'W' : 'R', a.value,
                    d.value);
    } else {
      std::snprintf(text, sizeof text, "? %c %X %02X", a.direction, a.port, a.value);
    }
    cycles.push_back(text);
  }
  return cycles;
}

bool ScriptedSystem::queryVersion(platform::VersionInfo& info) {
  if (world_->versionQueryFails) return false;
  info.platformId = world_->platformId;
  info.release = "scripted";
  return true;
}

bool ScriptedSystem::ownModulePath(std::string& path) {
  path = world_->modulePath;
  return true;
}

bool ScriptedSystem::programPath(std::string& path) {
  if (world_->programPathFails) return false;
  path = world_->programPath;
  return true;
}

bool ScriptedSystem::shortPathName(const std::string& path, std::string& shortPath) {
  if (world_->shortPathFails) return false;
  shortPath = path;
  return true;
}

platform::Handle ScriptedSystem::openServiceManager(std::uint32_t access) {
  world_->calls.push_back("open manager " + std::to_string(access));
  if (!world_->managerAvailable) return platform::kInvalidHandle;
  open_.push_back(next_);
  return next_++;
}

platform::Handle ScriptedSystem::createService(platform::Handle manager,
                                               const platform::ServiceConfig& config) {
  world_->calls.push_back("create");
  world_->lastCreated = config;
  if (std::find(open_.begin(), open_.end(), manager) == open_.end())
    return platform::kInvalidHandle;
  if (world_->createFailures > 0) {
    --world_->createFailures;
    return platform::kInvalidHandle;
  }
  if (world_->installed) return platform::kInvalidHandle;  // the name is taken
  world_->installed = true;
  open_.push_back(next_);
  return next_++;
}

platform::Handle ScriptedSystem::openService(platform::Handle manager, const std::string& name,
                                             std::uint32_t) {
  world_->calls.push_back("open service " + name);
  if (std::find(open_.begin(), open_.end(), manager) == open_.end() || !world_->installed)
    return platform::kInvalidHandle;
  open_.push_back(next_);
  return next_++;
}

bool ScriptedSystem::startService(platform::Handle) {
  world_->calls.push_back("start");
  if (world_->startFails || !world_->installed || world_->staleEntry) return false;
  world_->running = true;
  return true;
}

bool ScriptedSystem::deleteService(platform::Handle) {
  world_->calls.push_back("delete");
  if (!world_->installed) return false;
  world_->installed = false;
  world_->staleEntry = false;
  return true;
}

bool ScriptedSystem::closeServiceHandle(platform::Handle handle) {
  const auto found = std::find(open_.begin(), open_.end(), handle);
  if (found == open_.end()) return false;
  open_.erase(found);
  return true;
}

RecordingPort* InstallScriptedPlatform(const std::shared_ptr<DriverWorld>& world) {
  platform::overrideSystem(std::make_unique<ScriptedSystem>(world));
  auto port = std::make_unique<RecordingPort>(world);
  RecordingPort* observer = port.get();
  overrideDriverDevice(std::make_unique<RecordingDevice>());
  platform::forceNextPortBackend(std::move(port));
  return observer;
}

}  // namespace omrix::testing
