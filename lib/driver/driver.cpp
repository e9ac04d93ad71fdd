#include "driver.h"

#include <string>

#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"

namespace omrix {

namespace {

std::unique_ptr<DriverDevice>& OverridingDevice() {
  static std::unique_ptr<DriverDevice> device;
  return device;
}

// The directory part of the program's path, ending in its separator; false when the path
// cannot be had or would not fit the 260-byte buffers the names are built in.
bool ProgramDirectory(std::string& directory) {
  std::string path;
  if (!platform::system().programPath(path) || path.size() >= kFileNameSize) return false;
  directory = path.substr(0, path.size() - std::string(FileNamePart(path.c_str())).size());
  return true;
}

int SendRange(std::uint32_t command, const platform::PortRange& range) {
  PortRangeRequest request;
  request.command = command;
  request.firstPort = range.first;
  request.portCount = range.count;
  return DriverRequest(request);
}

// The backend's reason for a refused grant, as a line before the usual texts.
void SayWhyRefused(std::uint32_t base) {
  const platform::PortBackend& backend = platform::portBackend();
  const char* detail = backend.refusalDetail().c_str();
  switch (backend.lastRefusal()) {
    case platform::GrantRefusal::None: break;
    case platform::GrantRefusal::Busy:
      if (*detail != '\0') {
        SendMessageF("-> ERROR: port %Xh is in use by another program (%s)\n", base, detail);
      } else {
        SendMessageF("-> ERROR: port %Xh is in use by another program\n", base);
      }
      break;
    case platform::GrantRefusal::NoPort:
      SendMessageF(
          "-> ERROR: no parallel port at %Xh --> is the parport_pc module loaded? "
          "(ls /dev/parport*)\n",
          base);
      break;
    case platform::GrantRefusal::PermissionDenied:
      SendMessageF(
          "-> ERROR: no permission for the parallel port at %Xh --> add the user to "
          "group lp and log in again\n",
          base);
      break;
    case platform::GrantRefusal::NotAllowed:
      SendMessageF(
          "-> ERROR: port %Xh is no standard parallel port base, direct port I/O refused "
          "--> an administrator may list it in \xB4%s\xB4\n",
          base, detail);
      break;
    case platform::GrantRefusal::LockFailed:
      SendMessageF(
          "-> ERROR: port %Xh could not be locked against other programs, so it is "
          "not used: %s\n",
          base, detail);
      break;
  }
}

bool EmulationDesignLoaded() {
  const std::string loaded = FieldText(state.loadedFpgaFile);
  for (const char* design : kEmulationDesigns)
    if (SameFileName(loaded.c_str(), design) == 0) return true;
  return false;
}

}  // namespace

DriverDevice& driverDevice() {
  const std::unique_ptr<DriverDevice>& device = OverridingDevice();
  return device ? *device : platform::portBackend().driverDevice();
}

void overrideDriverDevice(std::unique_ptr<DriverDevice> device) {
  OverridingDevice() = std::move(device);
}

bool IsUsablePortBase(std::uint32_t base) { return base > 0 && base <= 0xFFFB; }

int DriverOpen() {
  platform::Handle handle = platform::kInvalidHandle;
  if (state.isWindowsNT == 1) {
    handle = driverDevice().open(kNtDeviceName, DeviceOpenMode::ReadShared);
  } else {
    std::string directory;
    if (!ProgramDirectory(directory)) return 0;
    std::string shortDirectory;
    if (!platform::system().shortPathName(directory, shortDirectory) ||
        shortDirectory.size() >= kFileNameSize)
      return 0;
    const std::string name = "\\\\.\\" + shortDirectory + kVxdFileName;
    handle = driverDevice().open(name, DeviceOpenMode::CreateNewDeleteOnClose);
  }
  state.driverHandle = handle;
  return handle != platform::kInvalidHandle ? 1 : 0;
}

int DriverLoad() {
  platform::VersionInfo version;
  if (!platform::system().queryVersion(version)) return 0;
  if (version.platformId == platform::kPlatform9x) {
    state.isWindowsNT = 0;
  } else if (version.platformId == platform::kPlatformNT) {
    state.isWindowsNT = 1;
  } else {
    return 0;
  }
  if (DriverOpen() == 1) return 1;
  if (DriverServiceStart() == 1) return DriverOpen();
  if (DriverServiceCreate() == 0) {
    DriverServiceDelete();
    if (DriverServiceCreate() == 0) return 0;
  }
  if (DriverServiceStart() == 0) {
    DriverServiceDelete();
    return 0;
  }
  return DriverOpen();
}

int DriverUnload() {
  if (state.driverHandle == platform::kInvalidHandle) return 0;
  const bool closed = driverDevice().close(state.driverHandle);
  state.driverHandle = platform::kInvalidHandle;
  return closed ? 1 : 0;
}

int DriverRequest(const PortRangeRequest& request) {
  const auto input = request.bytes();
  std::uint32_t bytesReturned = 0xFFFFFFFF;
  const bool answered = driverDevice().request(state.driverHandle, kPortRangeRequestCode,
                                               input.data(), input.size(), bytesReturned);
  return answered && bytesReturned == request.outputSize ? 1 : 0;
}

int DriverServiceCreate() {
  if (state.isWindowsNT == 0) return 1;
  std::string imagePath;
  if (!ProgramDirectory(imagePath)) return 0;
  imagePath += std::string(kDriverServiceName) + ".sys";
  if (imagePath.size() >= kFileNameSize) return 0;

  platform::System& system = platform::system();
  const platform::Handle manager = system.openServiceManager(kScManagerAllAccess);
  if (manager == platform::kInvalidHandle) return 0;
  platform::ServiceConfig config;
  config.name = kDriverServiceName;
  config.displayName = kDriverServiceName;
  config.access = kServiceAllAccess;
  config.type = kServiceKernelDriver;
  config.startType = kServiceAutoStart;
  config.errorControl = kServiceErrorNormal;
  config.imagePath = imagePath;
  const platform::Handle service = system.createService(manager, config);
  if (service != platform::kInvalidHandle) system.closeServiceHandle(service);
  system.closeServiceHandle(manager);
  return service != platform::kInvalidHandle ? 1 : 0;
}

namespace {

// Opens the manager and the driver's service, applies `operation`, closes both.
template <typename Operation>
int WithDriverService(Operation operation) {
  platform::System& system = platform::system();
  const platform::Handle manager = system.openServiceManager(kScManagerAllAccess);
  if (manager == platform::kInvalidHandle) return 0;
  const platform::Handle service =
      system.openService(manager, kDriverServiceName, kServiceAllAccess);
  if (service == platform::kInvalidHandle) {
    system.closeServiceHandle(manager);
    return 0;
  }
  const bool done = operation(system, service);
  system.closeServiceHandle(service);
  system.closeServiceHandle(manager);
  return done ? 1 : 0;
}

}  // namespace

int DriverServiceStart() {
  if (state.isWindowsNT == 0) return 1;
  return WithDriverService([](platform::System& system, platform::Handle service) {
    return system.startService(service);
  });
}

int DriverServiceDelete() {
  if (state.isWindowsNT == 0) return 1;
  return WithDriverService([](platform::System& system, platform::Handle service) {
    return system.deleteService(service);
  });
}

int EnablePortAccess() {
  if (state.isWindowsNT == 0) return 1;
  if (!IsUsablePortBase(state.portBase)) return 0;
  // Only one range is kept; an older grant is given back rather than leaked.
  if (state.portRangeHeld) DisablePortAccess();
  const platform::PortRange range = platform::parallelPortRange(state.portBase);
  state.portFoundBusy = false;
  if (SendRange(kOpenPortRange, range) == 0) {
    state.portFoundBusy = platform::portBackend().lastRefusal() == platform::GrantRefusal::Busy;
    SayWhyRefused(range.first);
    return 0;
  }
  state.portRangeHeld = true;
  state.heldPortRange = range;
  return 1;
}

int DisablePortAccess() {
  if (state.isWindowsNT == 0) return 1;
  if (!state.portRangeHeld) return 1;
  state.portRangeHeld = false;
  return SendRange(kClosePortRange, state.heldPortRange);
}

LibraryCall::LibraryCall() {
  if (state.portRangeHeld && !platform::portBackend().reclaim())
    SayWhyRefused(state.heldPortRange.first);
}

LibraryCall::~LibraryCall() {
  // What the call completed is kept before anyone else may drive the port.
  platform::portBackend().callEnded();
  if (state.portRangeHeld && EmulationDesignLoaded()) platform::portBackend().lend();
}

}  // namespace omrix
