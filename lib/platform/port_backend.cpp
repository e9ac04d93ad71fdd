#include <algorithm>
#include <chrono>
#include <thread>

#include "driver_device.h"
#include "platform.h"

namespace omrix::platform {

namespace {

constexpr std::uint32_t kStandardRegisters = 3;
constexpr std::uint32_t kRegistersWithEpp = 5;

}  // namespace

PortRange parallelPortRange(std::uint16_t base) {
  return {base, base == kPortWithoutEpp ? kStandardRegisters : kRegistersWithEpp};
}

PortBackend::PortBackend() = default;
PortBackend::~PortBackend() = default;

DriverDevice& PortBackend::driverDevice() {
  if (!emulatedDevice_) emulatedDevice_ = std::make_unique<EmulatedDriverDevice>(*this);
  return *emulatedDevice_;
}

bool PortBackend::isGranted(std::uint32_t port) const {
  return std::any_of(granted_.begin(), granted_.end(),
                     [port](const PortRange& range) { return range.contains(port); });
}

bool PortBackend::claim(const PortRange& range) {
  if (!range.withinPortSpace()) return false;
  refuse(GrantRefusal::None);
  if (!grant(range)) return false;
  granted_.push_back(range);
  return true;
}

bool PortBackend::release(const PortRange& range) {
  const auto held = std::find_if(granted_.begin(), granted_.end(), [&](const PortRange& r) {
    return r.first == range.first && r.count == range.count;
  });
  if (held == granted_.end() || !revoke(range)) return false;
  granted_.erase(held);
  return true;
}

std::uint8_t PortBackend::in(std::uint32_t port) {
  if (port >= kPortSpace || !isGranted(port)) return 0xFF;
  return rawIn(static_cast<std::uint16_t>(port));
}

void PortBackend::out(std::uint32_t port, std::uint8_t value) {
  if (port >= kPortSpace || !isGranted(port)) return;
  rawOut(static_cast<std::uint16_t>(port), value);
}

Clock& PortBackend::clock() {
  static Clock realTime;
  return realTime;
}

void Clock::settle(std::int32_t count) {
  // A pure processor delay; volatile keeps the compiler from removing the loop.
  volatile std::int32_t remaining = count;
  while (remaining > 0) remaining = remaining - 1;
}

std::uint32_t Clock::tickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Clock::sleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace omrix::platform
