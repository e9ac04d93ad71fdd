#include <algorithm>
#include <cstdio>

#include "backends.h"
#include "port_lock.h"

namespace omrix::platform {

namespace {

// The board's time is the simulator's, so the backend is its clock too.
class SimBackend final : public PortBackend, public Clock {
 public:
  explicit SimBackend(std::shared_ptr<sim::Simulator> simulator)
      : simulator_(std::move(simulator)) {}

  void settle(std::int32_t count) override { simulator_->busyWait(count); }
  std::uint32_t tickCount() override { return simulator_->tickCount(); }
  void sleepMs(std::uint32_t ms) override { simulator_->sleepMs(ms); }
  Clock& clock() override { return *this; }
  // Closing the library keeps the board as it is now, for the next process.
  void closing() override { simulator_->save(); }
  // What a call completed survives a kill before the library is closed; a call that changed
  // nothing writes nothing.
  void callEnded() override { simulator_->saveIfChanged(); }
  std::string notice() const override {
    return "-> INFO: simulated omrix board, no hardware is accessed\n";
  }

 protected:
  std::uint8_t rawIn(std::uint16_t port) override { return simulator_->in(port); }
  void rawOut(std::uint16_t port, std::uint8_t value) override { simulator_->out(port, value); }
  // The board is this process's while it holds a range: another process finds the port busy.
  // An address without a simulated port is granted as an empty one would be by ioperm: it
  // reads as no port, never as a port in use.
  // A board that could not be locked is refused, as direct refuses a port it cannot lock:
  // unlocked, two programs could drive it at once.
  bool grant(const PortRange& range) override {
    if (!HasPort(range.first)) return true;
    if (!simulator_->attach()) {
      refuse(GrantRefusal::Busy, LockHolder(simulator_->lockPath()));
      return false;
    }
    if (simulator_->attachProblem().empty()) return true;
    simulator_->detach();
    refuse(GrantRefusal::LockFailed, simulator_->attachProblem());
    return false;
  }
  bool revoke(const PortRange& range) override {
    if (HasPort(range.first)) simulator_->detach();
    return true;
  }

 private:
  bool HasPort(std::uint32_t base) const {
    const std::vector<std::uint16_t>& ports = simulator_->config().ports;
    return std::find(ports.begin(), ports.end(), base) != ports.end();
  }

  std::shared_ptr<sim::Simulator> simulator_;
};

std::shared_ptr<sim::Simulator>& simulatorSlot() {
  static std::shared_ptr<sim::Simulator> simulator;
  return simulator;
}

}  // namespace

std::unique_ptr<PortBackend> makeSimBackend(std::shared_ptr<sim::Simulator> simulator) {
  return std::make_unique<SimBackend>(std::move(simulator));
}

std::shared_ptr<sim::Simulator> processSimulator(const std::string& libraryDirectory) {
  auto& simulator = simulatorSlot();
  if (!simulator) {
    std::vector<std::string> problems;
    sim::SimConfig config = sim::ParseSimConfig(environment("OMRIX_SIM"), problems);
    for (const auto& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (config.stateDir.empty()) config.stateDir = libraryDirectory + "omrix-sim/";
    simulator = std::make_shared<sim::Simulator>(config);
  }
  return simulator;
}

void replaceProcessSimulator(std::shared_ptr<sim::Simulator> simulator) {
  simulatorSlot() = std::move(simulator);
}

}  // namespace omrix::platform
