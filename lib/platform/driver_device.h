// The port-I/O driver's device as the library talks to it: its names, its one request and the
// device itself. A port backend hands the library the device it reaches the ports through.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace omrix::platform {

inline constexpr const char* kNtDeviceName = "\\\\.\\Dev_PORTGATE";
inline constexpr const char* kVxdFileName = "PortGate.VxD";

// The driver's one request code and its commands.
inline constexpr std::uint32_t kPortRangeRequestCode = 0x9C406000;
inline constexpr std::uint32_t kOpenPortRange = 1;
inline constexpr std::uint32_t kClosePortRange = 2;
inline constexpr std::size_t kPortRangeRequestSize = 20;

enum class DeviceOpenMode {
  ReadShared,             // the NT driver device: read access, shared read, open existing
  CreateNewDeleteOnClose  // the 9x virtual device: loaded by the open, unloaded by the close
};

struct PortRangeRequest {
  std::uint32_t command = 0;
  std::uint32_t firstPort = 0;
  std::uint32_t portCount = 0;
  std::uint32_t outputPointer = 0;
  std::uint32_t outputSize = 0;
  // The bytes the driver reads: five little-endian words.
  std::array<std::uint8_t, kPortRangeRequestSize> bytes() const;
  // The request those bytes carry; false unless they are exactly one request.
  static bool parse(const std::uint8_t* input, std::size_t size, PortRangeRequest& request);
};

class DriverDevice {
 public:
  virtual ~DriverDevice() = default;
  virtual Handle open(const std::string& name, DeviceOpenMode mode) = 0;
  virtual bool close(Handle handle) = 0;
  // One device-control exchange, as the driver answers it.
  virtual bool request(Handle handle, std::uint32_t code, const std::uint8_t* input,
                       std::size_t inputSize, std::uint32_t& bytesReturned) = 0;
};

// For a system without the driver: the device opens under the driver's names while the backend
// may reach ports at all, and its one request claims or releases a range of the backend.
class EmulatedDriverDevice : public DriverDevice {
 public:
  explicit EmulatedDriverDevice(PortBackend& backend) : backend_(backend) {}
  Handle open(const std::string& name, DeviceOpenMode mode) override;
  bool close(Handle handle) override;
  bool request(Handle handle, std::uint32_t code, const std::uint8_t* input, std::size_t inputSize,
               std::uint32_t& bytesReturned) override;

 private:
  static constexpr Handle kFirstHandle = 3;
  PortBackend& backend_;
  Handle nextHandle_ = kFirstHandle;
  std::vector<Handle> openHandles_;
};

}  // namespace omrix::platform
