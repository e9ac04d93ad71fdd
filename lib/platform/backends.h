// The port backends the platform layer can choose from.
#pragma once

#include <memory>
#include <string>

#include "omrix/sim/simulator.h"
#include "platform.h"

namespace omrix::platform {

// Reaches nothing: the state before a driver is brought up, and after a bad OMRIX_PORT_IO.
std::unique_ptr<PortBackend> makeNullBackend();

// The processor's IN/OUT instructions after ioperm on exactly the granted ranges.
struct DirectPortOps {
  // 0 on success, else the errno value.
  int (*ioperm)(unsigned long first, unsigned long count, int turnOn);
  std::uint8_t (*inb)(std::uint16_t port);
  void (*outb)(std::uint8_t value, std::uint16_t port);
};
DirectPortOps realDirectPortOps();

// Where an administrator lists the bases of further parallel ports (a PCIe card's), one hex
// base a line, for `direct` to grant besides the three standard ones.
inline constexpr const char* kDirectAllowList = "/etc/omrix/direct-ports";

struct DirectConfig {
  DirectPortOps ops;
  std::string lockDirectory;  // an advisory lock per port base while its range is granted
  std::string allowListPath;
};
std::unique_ptr<PortBackend> makeDirectBackend(const DirectConfig& config);

// False, with the line saying why, where `direct` must not run: in a secure execution whose
// library file or a directory above it is not root's alone.
bool directAllowedInThisProcess(std::string& problem);

// What the ppdev backend learns from the kernel about other programs on a port, and how it
// waits for them; null parts are the real ones.
struct PpdevKernel {
  void (*sleep)(std::uint32_t ms) = nullptr;
  // The device the kernel lists as holding the named port ("none" when it is free); empty when
  // it cannot tell.
  std::string (*activeDevice)(const char* portName) = nullptr;
  // The port libieee1284 claims once per process while it looks for ports: the first
  // /dev/parportN this process can open ("parport0"), or empty.
  std::string (*probedPort)() = nullptr;
  // The other processes that have the device file open ("cabletool, pid 4321"), or empty.
  std::string (*holders)(const char* deviceFile) = nullptr;
};

// The port through ppdev and libieee1284, whose calls `ops` supplies, with an advisory lock per
// port base in `lockDirectory` as `direct` has.
struct Ieee1284Ops;
std::unique_ptr<PortBackend> makePpdevBackend(const Ieee1284Ops& ops,
                                              const std::string& lockDirectory,
                                              const PpdevKernel& kernel = {});

// What the portgate backend asks of Windows: the driver device's calls and the processor's
// port instructions. The real one runs CreateFileA, DeviceIoControl, CloseHandle and IN/OUT;
// tests put in their own, for no test may execute IN or OUT.
class WindowsDeviceApi {
 public:
  virtual ~WindowsDeviceApi() = default;
  // kInvalidHandle when the device cannot be opened.
  virtual Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t flags) = 0;
  // No output buffer: the driver answers these requests with none.
  virtual bool deviceIoControl(Handle device, std::uint32_t code, const std::uint8_t* input,
                               std::uint32_t inputSize, std::uint32_t& bytesReturned) = 0;
  virtual bool closeHandle(Handle handle) = 0;
  virtual std::uint8_t in(std::uint16_t port) = 0;
  virtual void out(std::uint16_t port, std::uint8_t value) = 0;
};
std::unique_ptr<WindowsDeviceApi> realWindowsDeviceApi();

// CreateFileA's arguments, as Windows numbers them (the Windows files hold them to windows.h).
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kFileShareRead = 0x00000001;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileFlagDeleteOnClose = 0x04000000;

// The PORTGATE kernel driver: its device is the library's, and IN/OUT reach only the ranges the
// driver confirmed it granted. A port's range is asked for only under its lock in
// `lockDirectory` (ending in a separator), as direct and ppdev lock theirs.
std::unique_ptr<PortBackend> makePortgateBackend(std::unique_ptr<WindowsDeviceApi> api,
                                                 const std::string& lockDirectory);

// The board simulator. Every sim backend shares the process's one simulated board.
std::unique_ptr<PortBackend> makeSimBackend(std::shared_ptr<sim::Simulator> simulator);

// The process's simulated board, made from OMRIX_SIM on first use.
std::shared_ptr<sim::Simulator> processSimulator(const std::string& libraryDirectory);
// Test seam: a fresh board for the rest of the process.
void replaceProcessSimulator(std::shared_ptr<sim::Simulator> simulator);

}  // namespace omrix::platform
