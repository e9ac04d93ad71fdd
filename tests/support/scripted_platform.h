// Test doubles for the platform layer: a port that records every access, and a scripted
// operating system with a driver service whose state the test sets.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "platform/platform.h"

namespace omrix::testing {

struct PortAccess {
  char direction;  // 'o' for OUT, 'i' for IN
  std::uint32_t port;
  std::uint8_t value;
  bool operator==(const PortAccess& other) const {
    return direction == other.direction && port == other.port && value == other.value;
  }
};
std::ostream& operator<<(std::ostream& out, const PortAccess& access);

// The state of the outside world the scripted parts share: the driver service and the device.
struct DriverWorld {
  bool managerAvailable = true;
  bool installed = false;
  bool running = false;
  bool staleEntry = false;  // the installed entry cannot start until it is made anew
  int createFailures = 0;   // the next N creates fail
  bool startFails = false;  // every start fails
  bool versionQueryFails = false;
  std::uint32_t platformId = platform::kPlatformNT;
  std::string programPath = "/opt/omrix/bin/omrix";
  bool programPathFails = false;
  bool shortPathFails = false;
  std::string modulePath = "/opt/omrix/lib/libomrix_dll.so";
  bool secureExecution = false;  // as if started with raised ids or capabilities
  std::int64_t calendarTime = 1104537600;
  std::uint32_t bytesReturnedByRequest = 0;  // what the driver claims to return
  std::vector<std::string> calls;            // service and device operations, in order
  std::vector<std::uint32_t> beeps;
  std::vector<std::string> openedDeviceNames;
  platform::ServiceConfig lastCreated;
};

class RecordingDevice;

struct RecordedRequest {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;
};

// Records every port access; IN answers from `answers` in order, then `defaultAnswer`. The
// driver's device opens while the world's driver runs; once InstallScriptedPlatform has put in
// its recording device, the port keeps the requests that device is sent while the port is the
// backend.
class RecordingPort : public platform::PortBackend, public platform::Clock {
 public:
  explicit RecordingPort(std::shared_ptr<DriverWorld> world) : world_(std::move(world)) {}

  std::vector<PortAccess> accesses;
  std::deque<std::uint8_t> answers;
  std::uint8_t defaultAnswer = 0xFF;
  std::vector<std::int32_t> settles;
  std::vector<std::uint32_t> sleeps;

  const std::vector<RecordedRequest>& requests() const { return requests_; }

  Clock& clock() override { return *this; }
  bool mayAccessPorts() override { return world_->running; }
  void settle(std::int32_t count) override { settles.push_back(count); }
  // A clock that every port access advances by 1 ms, so time-outs are reached by counting.
  std::uint32_t tickCount() override {
    return static_cast<std::uint32_t>(accesses.size()) + slept_;
  }
  void sleepMs(std::uint32_t ms) override {
    sleeps.push_back(ms);
    slept_ += ms;
  }

 protected:
  std::uint8_t rawIn(std::uint16_t port) override;
  void rawOut(std::uint16_t port, std::uint8_t value) override;
  bool grant(const platform::PortRange&) override { return true; }
  bool revoke(const platform::PortRange&) override { return true; }

 private:
  friend class RecordingDevice;

  std::shared_ptr<DriverWorld> world_;
  std::uint32_t slept_ = 0;
  std::vector<RecordedRequest> requests_;
};

// The mm-bus cycles a recording of EPP-mode accesses shows: "W a d" for a write, "R a d" for a
// read (d as answered). Accesses that are no EPP cycle appear as "? ...".
std::vector<std::string> BusCycles(const std::vector<PortAccess>& accesses, std::uint32_t base);

class ScriptedSystem : public platform::System {
 public:
  explicit ScriptedSystem(std::shared_ptr<DriverWorld> world) : world_(std::move(world)) {}

  bool queryVersion(platform::VersionInfo& info) override;
  bool ownModulePath(std::string& path) override;
  bool programPath(std::string& path) override;
  bool shortPathName(const std::string& path, std::string& shortPath) override;
  void beep(std::uint32_t type) override { world_->beeps.push_back(type); }
  std::int64_t calendarTime() override { return world_->calendarTime; }
  bool secureExecution() override { return world_->secureExecution; }
  platform::Handle openServiceManager(std::uint32_t access) override;
  platform::Handle createService(platform::Handle manager,
                                 const platform::ServiceConfig& config) override;
  platform::Handle openService(platform::Handle manager, const std::string& name,
                               std::uint32_t access) override;
  bool startService(platform::Handle service) override;
  bool deleteService(platform::Handle service) override;
  bool closeServiceHandle(platform::Handle handle) override;

 private:
  std::shared_ptr<DriverWorld> world_;
  std::vector<platform::Handle> open_;
  platform::Handle next_ = 100;
};

// Installs a scripted system and makes the next bring-up use a recording port on the same
// world. Returns the port (owned by the platform layer from then on).
RecordingPort* InstallScriptedPlatform(const std::shared_ptr<DriverWorld>& world);

}  // namespace omrix::testing
