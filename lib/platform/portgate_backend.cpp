#include <algorithm>
#include <vector>

#include "backends.h"
#include "driver_device.h"

namespace omrix::platform {

namespace {

// The driver itself grants the ranges, so the backend is also the driver's device: it keeps
// the ranges the driver confirmed, and the base lets IN/OUT reach only those.
class PortgateBackend final : public PortBackend, public DriverDevice {
 public:
  explicit PortgateBackend(std::unique_ptr<WindowsDeviceApi> api) : api_(std::move(api)) {}
  ~PortgateBackend() override {
    for (const Handle handle : openHandles_) api_->closeHandle(handle);
  }
  PortgateBackend(const PortgateBackend&) = delete;
  PortgateBackend& operator=(const PortgateBackend&) = delete;

  DriverDevice& driverDevice() override { return *this; }

  Handle open(const std::string& name, DeviceOpenMode mode) override {
    const bool nt = mode == DeviceOpenMode::ReadShared;
    const Handle handle =
        api_->createFile(name, nt ? kGenericRead : 0, nt ? kFileShareRead : 0,
                         nt ? kOpenExisting : kCreateNew, nt ? 0 : kFileFlagDeleteOnClose);
    if (handle != kInvalidHandle) openHandles_.push_back(handle);
    return handle;
  }

  // What the driver granted through a handle may end with it: no range is used after.
  bool close(Handle handle) override {
    const auto found = std::find(openHandles_.begin(), openHandles_.end(), handle);
    if (found == openHandles_.end()) return false;
    openHandles_.erase(found);
    forgetGrants();
    return api_->closeHandle(handle);
  }

  bool request(Handle handle, std::uint32_t code, const std::uint8_t* input, std::size_t inputSize,
               std::uint32_t& bytesReturned) override {
    bytesReturned = 0;
    if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end())
      return false;
    PortRangeRequest request;
    const bool isRangeRequest =
        code == kPortRangeRequestCode && PortRangeRequest::parse(input, inputSize, request);
    const PortRange range{request.firstPort, request.portCount};
    // A range being given back is not used from now on, whatever the driver answers.
    if (isRangeRequest && request.command == kClosePortRange) release(range);
    const bool answered = api_->deviceIoControl(
        handle, code, input, static_cast<std::uint32_t>(inputSize), bytesReturned);
    if (!answered || !isRangeRequest || request.command != kOpenPortRange ||
        bytesReturned != request.outputSize)
      return answered;
    confirmed_ = true;
    const bool claimed = claim(range);
    confirmed_ = false;
    return claimed;
  }

 protected:
  std::uint8_t rawIn(std::uint16_t port) override { return api_->in(port); }
  void rawOut(std::uint16_t port, std::uint8_t value) override { api_->out(port, value); }
  // Only what the driver has just confirmed: IN/OUT on any other port would fault.
  bool grant(const PortRange&) override { return confirmed_; }
  bool revoke(const PortRange&) override { return true; }

 private:
  void forgetGrants() {
    const std::vector<PortRange> held = granted();
    for (const PortRange& range : held) release(range);
  }

  std::unique_ptr<WindowsDeviceApi> api_;
  std::vector<Handle> openHandles_;
  bool confirmed_ = false;
};

}  // namespace

std::unique_ptr<PortBackend> makePortgateBackend(std::unique_ptr<WindowsDeviceApi> api) {
  return std::make_unique<PortgateBackend>(std::move(api));
}

}  // namespace omrix::platform
