#include "driver_device.h"

#include <algorithm>

namespace omrix::platform {

namespace {

constexpr std::size_t kWordSize = 4;
constexpr int kBitsPerByte = 8;

void PutWord(std::uint8_t* at, std::uint32_t value) {
  for (std::size_t i = 0; i < kWordSize; ++i)
    at[i] = static_cast<std::uint8_t>(value >> (kBitsPerByte * i));
}

std::uint32_t GetWord(const std::uint8_t* at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < kWordSize; ++i) value |= std::uint32_t{at[i]} << (kBitsPerByte * i);
  return value;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::array<std::uint8_t, kPortRangeRequestSize> PortRangeRequest::bytes() const {
  std::array<std::uint8_t, kPortRangeRequestSize> out{};
  PutWord(&out[0 * kWordSize], command);
  PutWord(&out[1 * kWordSize], firstPort);
  PutWord(&out[2 * kWordSize], portCount);
  PutWord(&out[3 * kWordSize], outputPointer);
  PutWord(&out[4 * kWordSize], outputSize);
  return out;
}

bool PortRangeRequest::parse(const std::uint8_t* input, std::size_t size,
                             PortRangeRequest& request) {
  if (input == nullptr || size != kPortRangeRequestSize) return false;
  request.command = GetWord(&input[0 * kWordSize]);
  request.firstPort = GetWord(&input[1 * kWordSize]);
  request.portCount = GetWord(&input[2 * kWordSize]);
  request.outputPointer = GetWord(&input[3 * kWordSize]);
  request.outputSize = GetWord(&input[4 * kWordSize]);
  return true;
}

Handle EmulatedDriverDevice::open(const std::string& name, DeviceOpenMode mode) {
  const bool knownDevice =
      (mode == DeviceOpenMode::ReadShared && name == kNtDeviceName) ||
      (mode == DeviceOpenMode::CreateNewDeleteOnClose && EndsWith(name, kVxdFileName));
  if (!knownDevice || !backend_.mayAccessPorts()) return kInvalidHandle;
  const Handle handle = nextHandle_++;
  openHandles_.push_back(handle);
  return handle;
}

bool EmulatedDriverDevice::close(Handle handle) {
  const auto found = std::find(openHandles_.begin(), openHandles_.end(), handle);
  if (found == openHandles_.end()) return false;
  openHandles_.erase(found);
  backend_.closing();
  return true;
}

bool EmulatedDriverDevice::request(Handle handle, std::uint32_t code, const std::uint8_t* input,
                                   std::size_t inputSize, std::uint32_t& bytesReturned) {
  bytesReturned = 0;
  if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end())
    return false;
  PortRangeRequest request;
  if (code != kPortRangeRequestCode || !PortRangeRequest::parse(input, inputSize, request))
    return false;
  const PortRange range{request.firstPort, request.portCount};
  if (request.command == kOpenPortRange) return backend_.claim(range);
  if (request.command == kClosePortRange) return backend_.release(range);
  return false;
}

}  // namespace omrix::platform
