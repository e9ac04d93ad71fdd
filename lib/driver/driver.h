// Binding to the port-I/O driver that grants access to the parallel-port registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace omrix {

inline constexpr const char* kDriverServiceName = "PORTGATE";
inline constexpr const char* kNtDeviceName = "\\\\.\\Dev_PORTGATE";
inline constexpr const char* kVxdFileName = "PortGate.VxD";

inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t kServiceKernelDriver = 1;
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceErrorNormal = 1;

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
};

// The driver's device. Linux has no such driver, so the device is emulated over the port
// backend: it opens under the driver's names while the backend may reach ports at all, and its
// one request claims or releases a range.
class DriverDevice {
 public:
  virtual ~DriverDevice() = default;
  virtual platform::Handle open(const std::string& name, DeviceOpenMode mode);
  virtual bool close(platform::Handle handle);
  // One device-control exchange, as the driver answers it.
  virtual bool request(platform::Handle handle, std::uint32_t code, const std::uint8_t* input,
                       std::size_t inputSize, std::uint32_t& bytesReturned);

 private:
  static constexpr platform::Handle kFirstHandle = 3;
  platform::Handle nextHandle_ = kFirstHandle;
  std::vector<platform::Handle> openHandles_;
};

DriverDevice& driverDevice();
// Test seam: replaces the device; a null pointer restores the emulated one.
void overrideDriverDevice(std::unique_ptr<DriverDevice> device);

// A port base the bus cycles may use: its +4 register must not wrap into system ports.
bool IsUsablePortBase(std::uint32_t base);

int DriverLoad();
int DriverOpen();
int DriverUnload();
int DriverRequest(const PortRangeRequest& request);
int DriverServiceCreate();
int DriverServiceStart();
int DriverServiceDelete();
// Grants the range at portBase; 1 when the driver granted it.
int EnablePortAccess();
// Gives back the range granted last, if any.
int DisablePortAccess();

// Held by every exported call. When it ends, the backend keeps what the call completed (the
// simulated board is saved, so a killed program loses no finished work). While an emulation
// design runs the board is a programming cable for other software: the port is lent to it from
// the end of a call until the next call begins, which claims it again (or says that another
// program keeps it). At all other times the port stays this program's between the calls of a
// sequence.
class LibraryCall {
 public:
  LibraryCall();
  ~LibraryCall();
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;
};

// The designs that make the board a cable for other programs.
inline constexpr const char* kEmulationDesigns[] = {"emuat89ispcable.bit", "emuavrispdongle.bit",
                                                    "emudlc5.bit"};

}  // namespace omrix
