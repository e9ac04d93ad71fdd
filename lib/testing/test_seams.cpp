#include "test_seams.h"

#include "bus/pattern.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/backends.h"
#include "platform/platform.h"
#include "platform/system_impl.h"

namespace omrix::testing {

namespace {

// The real system with a calendar that stands still.
class FixedCalendarSystem final : public platform::System {
 public:
  explicit FixedCalendarSystem(std::int64_t seconds)
      : real_(platform::makeSystem()), seconds_(seconds) {}
  bool queryVersion(platform::VersionInfo& info) override { return real_->queryVersion(info); }
  bool ownModulePath(std::string& path) override { return real_->ownModulePath(path); }
  bool programPath(std::string& path) override { return real_->programPath(path); }
  bool shortPathName(const std::string& path, std::string& shortPath) override {
    return real_->shortPathName(path, shortPath);
  }
  void beep(std::uint32_t type) override { real_->beep(type); }
  std::int64_t calendarTime() override { return seconds_; }
  platform::Handle openServiceManager(std::uint32_t access) override {
    return real_->openServiceManager(access);
  }
  platform::Handle createService(platform::Handle manager,
                                 const platform::ServiceConfig& config) override {
    return real_->createService(manager, config);
  }
  platform::Handle openService(platform::Handle manager, const std::string& name,
                               std::uint32_t access) override {
    return real_->openService(manager, name, access);
  }
  bool startService(platform::Handle service) override { return real_->startService(service); }
  bool deleteService(platform::Handle service) override { return real_->deleteService(service); }
  bool closeServiceHandle(platform::Handle handle) override {
    return real_->closeServiceHandle(handle);
  }

 private:
  std::unique_ptr<platform::System> real_;
  std::int64_t seconds_;
};

}  // namespace

void SetCalendarTime(std::int64_t seconds) {
  platform::overrideSystem(std::make_unique<FixedCalendarSystem>(seconds));
}

void ResetLibrary(const std::string& libraryDirectory, const sim::SimConfig& board) {
  state = LibraryState{};
  SetField(state.libraryDirectory, libraryDirectory);
  SetField(state.stateDirectory, libraryDirectory);
  platform::overridePortBackend(nullptr);
  platform::forceNextPortBackend(nullptr);
  platform::overrideSystem(nullptr);
  platform::overrideFileSystem(nullptr);
  ResetPatternGenerator();
  sim::SimConfig config = board;
  if (config.stateDir.empty()) config.stateDir = libraryDirectory + "omrix-sim/";
  platform::replaceProcessSimulator(std::make_shared<sim::Simulator>(config));
}

sim::Simulator& Board() { return *platform::processSimulator(FieldText(state.stateDirectory)); }

}  // namespace omrix::testing
