#include "backends.h"
#include "port_backend_kinds.h"
#include "windows_api.h"

namespace omrix::platform {

static_assert(kGenericRead == GENERIC_READ && kFileShareRead == FILE_SHARE_READ &&
                  kCreateNew == CREATE_NEW && kOpenExisting == OPEN_EXISTING &&
                  kFileFlagDeleteOnClose == FILE_FLAG_DELETE_ON_CLOSE,
              "CreateFileA's arguments as windows.h numbers them");

namespace {

HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

class RealWindowsDeviceApi final : public WindowsDeviceApi {
 public:
  Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                    std::uint32_t disposition, std::uint32_t flags) override {
    const HANDLE handle =
        CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(handle);
  }

  bool deviceIoControl(Handle device, std::uint32_t code, const std::uint8_t* input,
                       std::uint32_t inputSize, std::uint32_t& bytesReturned) override {
    DWORD returned = 0;
    // The input is only read; DeviceIoControl's parameter is not const.
    const BOOL answered = DeviceIoControl(AsHandle(device), code, const_cast<std::uint8_t*>(input),
                                          inputSize, nullptr, 0, &returned, nullptr);
    bytesReturned = returned;
    return answered != 0;
  }

  bool closeHandle(Handle handle) override { return CloseHandle(AsHandle(handle)) != 0; }

  // The processor's own instructions: the driver's grant is what lets them run in user mode.
  std::uint8_t in(std::uint16_t port) override {
    std::uint8_t value = 0;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
    return value;
  }
  void out(std::uint16_t port, std::uint8_t value) override {
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
  }
};

}  // namespace

std::unique_ptr<WindowsDeviceApi> realWindowsDeviceApi() {
  return std::make_unique<RealWindowsDeviceApi>();
}

// The port locks lie where every user of the machine reaches them, as the port is shared; a
// directory that cannot be made shows as a refused lock when a port is asked for.
std::unique_ptr<PortBackend> makePortgatePortBackend(const std::string&, std::string& problem) {
  std::string directory = environment("ProgramData");
  if (directory.empty()) {
    problem = "ProgramData is not set: no directory for the port locks";
    return nullptr;
  }
  directory += "\\omrix";
  CreateDirectoryA(directory.c_str(), nullptr);
  return makePortgateBackend(realWindowsDeviceApi(), directory + '\\');
}

}  // namespace omrix::platform
