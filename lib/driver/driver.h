// Binding to the port-I/O driver that grants access to the parallel-port registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/driver_device.h"
#include "platform/platform.h"

namespace omrix {

inline constexpr const char* kDriverServiceName = "PORTGATE";
inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t kServiceKernelDriver = 1;
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceErrorNormal = 1;

// The driver's device and request, as the port backend reaches them.
using platform::DeviceOpenMode;
using platform::DriverDevice;
using platform::kClosePortRange;
using platform::kNtDeviceName;
using platform::kOpenPortRange;
using platform::kPortRangeRequestCode;
using platform::kPortRangeRequestSize;
using platform::kVxdFileName;
using platform::PortRangeRequest;

// The current backend's device, unless a test put in its own.
DriverDevice& driverDevice();
// Test seam: puts in a device in place of the backend's; a null pointer gives the backend's back.
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
