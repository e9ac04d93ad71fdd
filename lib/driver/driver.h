// Binding to the port-I/O driver that grants access to the parallel-port registers.
#pragma once

#include <array>
#include <cstdint>

namespace omrix {

inline constexpr const char* kDriverServiceName = "PORTGATE";
inline constexpr const char* kNtDeviceName = "\\\\.\\Dev_PORTGATE";
inline constexpr const char* kVxdFileName = "PortGate.VxD";

inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t kServiceKernelDriver = 1;
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceErrorNormal = 1;

struct PortRangeRequest {
  std::uint32_t command = 0;
  std::uint32_t firstPort = 0;
  std::uint32_t portCount = 0;
  std::uint32_t outputPointer = 0;
  std::uint32_t outputSize = 0;
  // The 20 bytes the driver reads: five little-endian words.
  std::array<std::uint8_t, 20> bytes() const;
};

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
inline constexpr const char* kEmulationDesigns[] = {"emuat89ispcable.bit",
                                                    "emuavrispdongle.bit", "emudlc5.bit"};

}  // namespace omrix
