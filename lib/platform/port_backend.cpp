#include <algorithm>
#include <chrono>
#include <thread>

#include "platform.h"

namespace omrix::platform {

namespace {

constexpr const char* kNtDeviceName = "\\\\.\\Dev_PORTGATE";
constexpr const char* kVxdSuffix = "PortGate.VxD";

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

constexpr std::uint32_t kStandardRegisters = 3;
constexpr std::uint32_t kRegistersWithEpp = 5;

}  // namespace

PortRange ParallelPortRange(std::uint16_t base) {
  return {base, base == kPortWithoutEpp ? kStandardRegisters : kRegistersWithEpp};
}

bool PortBackend::isGranted(std::uint32_t port) const {
  return std::any_of(granted_.begin(), granted_.end(),
                     [port](const PortRange& range) { return range.contains(port); });
}

std::uint8_t PortBackend::in(std::uint32_t port) {
  if (port > 0xFFFF || !isGranted(port)) return 0xFF;
  return rawIn(static_cast<std::uint16_t>(port));
}

void PortBackend::out(std::uint32_t port, std::uint8_t value) {
  if (port > 0xFFFF || !isGranted(port)) return;
  rawOut(static_cast<std::uint16_t>(port), value);
}

void PortBackend::settle(std::int32_t count) {
  // A pure processor delay; volatile keeps the compiler from removing the loop.
  volatile std::int32_t remaining = count;
  while (remaining > 0) remaining = remaining - 1;
}

std::uint32_t PortBackend::tickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void PortBackend::sleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Handle PortBackend::openDevice(const std::string& name, DeviceOpenMode mode) {
  const bool knownDevice =
      (mode == DeviceOpenMode::ReadShared && name == kNtDeviceName) ||
      (mode == DeviceOpenMode::CreateNewDeleteOnClose && endsWith(name, kVxdSuffix));
  if (!knownDevice || !mayAccessPorts()) return kInvalidHandle;
  const Handle handle = nextHandle_++;
  openHandles_.push_back(handle);
  return handle;
}

bool PortBackend::closeDevice(Handle handle) {
  const auto found = std::find(openHandles_.begin(), openHandles_.end(), handle);
  if (found == openHandles_.end()) return false;
  openHandles_.erase(found);
  return true;
}

bool PortBackend::request(Handle handle, std::uint32_t code, const std::uint8_t* input,
                          std::size_t inputSize, std::uint8_t* /*output*/,
                          std::size_t /*outputSize*/, std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end())
    return false;
  RecordedRequest recorded;
  recorded.code = code;
  if (input != nullptr) recorded.input.assign(input, input + inputSize);
  requests_.push_back(recorded);
  if (code != kPortRangeRequestCode || input == nullptr || inputSize != kPortRangeRequestSize)
    return false;

  const std::uint32_t command = littleEndianWord(input);
  const PortRange range{littleEndianWord(input + 4), littleEndianWord(input + 8)};
  if (range.count == 0 || range.first > 0xFFFF || range.count > 0x10000 - range.first)
    return false;
  if (command == kOpenPortRange) {
    refuse(GrantRefusal::None);
    if (!grant(range)) return false;
    granted_.push_back(range);
    return true;
  }
  if (command == kClosePortRange) {
    const auto held = std::find_if(granted_.begin(), granted_.end(), [&](const PortRange& r) {
      return r.first == range.first && r.count == range.count;
    });
    if (held == granted_.end() || !revoke(range)) return false;
    granted_.erase(held);
    return true;
  }
  return false;
}

}  // namespace omrix::platform
