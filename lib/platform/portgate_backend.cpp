#include <algorithm>
#include <map>
#include <vector>

#include "backends.h"
#include "driver_device.h"
#include "port_lock.h"

namespace omrix::platform {

namespace {

// The driver itself grants the ranges, so the backend is also the driver's device: it keeps
// the ranges the driver confirmed, and the base lets IN/OUT reach only those. The driver grants
// a port to every process that asks; a lock per port base keeps it to one program.
class PortgateBackend final : public PortBackend, public DriverDevice {
 public:
  PortgateBackend(std::unique_ptr<WindowsDeviceApi> api, std::string lockDirectory)
      : api_(std::move(api)), lockDirectory_(std::move(lockDirectory)) {}
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
    const bool opening = isRangeRequest && request.command == kOpenPortRange;
    refuse(GrantRefusal::None);
    // A port this program holds already is its own; any other must be free.
    const bool locked = locks_.count(range.first) != 0;
    PortLock lock;
    if (opening && !locked && !lockPort(range.first, lock)) return false;
    // A range being given back is not used from now on, whatever the driver answers.
    if (isRangeRequest && request.command == kClosePortRange) {
      release(range);
      locks_.erase(range.first);
    }
    const bool answered = api_->deviceIoControl(
        handle, code, input, static_cast<std::uint32_t>(inputSize), bytesReturned);
    if (!answered || !opening || bytesReturned != request.outputSize) return answered;
    confirmed_ = true;
    const bool claimed = claim(range);
    confirmed_ = false;
    if (claimed && !locked) locks_[range.first] = std::move(lock);
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
    locks_.clear();
  }

  bool lockPort(std::uint32_t base, PortLock& lock) {
    std::string detail;
    switch (lock.acquire(lockDirectory_, base, detail)) {
      case PortLock::Result::Held: return true;
      case PortLock::Result::Busy: refuse(GrantRefusal::Busy, detail); return false;
      case PortLock::Result::Failed: refuse(GrantRefusal::LockFailed, detail); return false;
    }
    return false;
  }

  std::unique_ptr<WindowsDeviceApi> api_;
  std::string lockDirectory_;
  std::map<std::uint32_t, PortLock> locks_;  // by port base, while its range is held
  std::vector<Handle> openHandles_;
  bool confirmed_ = false;
};

}  // namespace

std::unique_ptr<PortBackend> makePortgateBackend(std::unique_ptr<WindowsDeviceApi> api,
                                                 const std::string& lockDirectory) {
  return std::make_unique<PortgateBackend>(std::move(api), lockDirectory);
}

}  // namespace omrix::platform
