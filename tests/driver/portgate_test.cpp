// The portgate backend over a recorded Windows: what the library sends the driver, and that
// IN/OUT reach only the ranges the driver confirmed. No IN or OUT instruction runs here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "platform/backends.h"
#include "setup/device_setup.h"
#include "setup/setup_data_writer.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

struct Opened {
  std::string name;
  std::uint32_t access, share, disposition, flags;
  bool operator==(const Opened& o) const {
    return name == o.name && access == o.access && share == o.share &&
           disposition == o.disposition && flags == o.flags;
  }
};

struct Sent {
  platform::Handle device;
  std::uint32_t code;
  std::vector<std::uint8_t> input;
};

// What the backend asked of Windows; the driver answers as the test sets it.
struct RecordedWindows {
  bool deviceExists = true;
  bool requestsAnswered = true;
  std::uint32_t bytesReturned = 0;
  std::vector<Opened> opened;
  std::vector<Sent> sent;
  std::vector<platform::Handle> closed;
  std::vector<std::string> portAccesses;  // "o 37A 04", "i 379"
};

constexpr platform::Handle kDeviceHandle = 0x1234;

class RecordedApi final : public platform::WindowsDeviceApi {
 public:
  explicit RecordedApi(RecordedWindows& windows) : windows_(windows) {}
  platform::Handle createFile(const std::string& name, std::uint32_t access, std::uint32_t share,
                              std::uint32_t disposition, std::uint32_t flags) override {
    windows_.opened.push_back({name, access, share, disposition, flags});
    return windows_.deviceExists ? kDeviceHandle : platform::kInvalidHandle;
  }
  bool deviceIoControl(platform::Handle device, std::uint32_t code, const std::uint8_t* input,
                       std::uint32_t inputSize, std::uint32_t& bytesReturned) override {
    windows_.sent.push_back({device, code, {input, input + inputSize}});
    bytesReturned = windows_.bytesReturned;
    return windows_.requestsAnswered;
  }
  bool closeHandle(platform::Handle handle) override {
    windows_.closed.push_back(handle);
    return true;
  }
  std::uint8_t in(std::uint16_t port) override {
    windows_.portAccesses.push_back("i " + Hex(port));
    return 0x5A;
  }
  void out(std::uint16_t port, std::uint8_t value) override {
    windows_.portAccesses.push_back("o " + Hex(port) + " " + Hex(value));
  }

 private:
  static std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
  }
  RecordedWindows& windows_;
};

std::vector<std::uint8_t> Request(std::uint32_t command, std::uint32_t first, std::uint32_t count) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : {command, first, count, 0u, 0u})
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  return bytes;
}

class PortgateTest : public testing::LibraryTest {
 protected:
  // The next bring-up takes the portgate backend over the recorded Windows.
  void UsePortgate() {
    platform::forceNextPortBackend(
        platform::makePortgateBackend(std::make_unique<RecordedApi>(windows_), Directory()));
  }
  RecordedWindows windows_;
};

TEST_F(PortgateTest, DriverIsOpenedAskedAndClosedAsWindowsExpects) {
  UsePortgate();
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  // GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, no flags
  EXPECT_EQ(windows_.opened, (std::vector<Opened>{{"\\\\.\\Dev_PORTGATE", 0x80000000, 1, 3, 0}}));
  platform::PortBackend& port = platform::portBackend();

  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  port.out(0x37A, 0x04);
  port.out(0x37D, 0x01);  // beyond the granted range
  EXPECT_EQ(port.in(0x37C), 0x5A);
  EXPECT_EQ(port.in(0x377), 0xFF);
  ASSERT_EQ(DisablePortAccess(), 1);
  port.out(0x378, 0x00);
  EXPECT_EQ(windows_.portAccesses, (std::vector<std::string>{"o 37A 04", "i 37C"}));

  ASSERT_EQ(windows_.sent.size(), 2u);
  for (const Sent& sent : windows_.sent) {
    EXPECT_EQ(sent.device, kDeviceHandle);
    EXPECT_EQ(sent.code, 0x9C406000u);
  }
  EXPECT_EQ(windows_.sent[0].input, Request(1, 0x378, 5));
  EXPECT_EQ(windows_.sent[1].input, Request(2, 0x378, 5));

  // What the driver granted through the handle is not used once it is closed.
  ASSERT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(HwaccDeInit(), 1);
  EXPECT_EQ(windows_.closed, std::vector<platform::Handle>{kDeviceHandle});
  port.out(0x378, 0x00);
  EXPECT_EQ(windows_.portAccesses.size(), 2u);
  EXPECT_EQ(HwaccDeInit(), 0);
}

TEST_F(PortgateTest, VirtualDeviceIsLoadedByCreatingItAndUnloadedByTheClose) {
  UsePortgate();
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  windows_.opened.clear();
  const platform::Handle handle =
      driverDevice().open("\\\\.\\C:\\OMRIX\\PortGate.VxD", DeviceOpenMode::CreateNewDeleteOnClose);
  // no access, no sharing, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE
  EXPECT_EQ(windows_.opened,
            (std::vector<Opened>{{"\\\\.\\C:\\OMRIX\\PortGate.VxD", 0, 0, 1, 0x04000000}}));
  EXPECT_TRUE(driverDevice().close(handle));
}

// The driver grants a port to every process that asks: another program's port is refused before
// the driver is asked, and is this one's once the other lets it go.
TEST_F(PortgateTest, PortHeldByAnotherProgramIsRefusedBeforeTheDriverIsAsked) {
  RecordedWindows elsewhere;
  const auto other =
      platform::makePortgateBackend(std::make_unique<RecordedApi>(elsewhere), Directory());
  DriverDevice& otherDevice = other->driverDevice();
  const platform::Handle otherHandle = otherDevice.open(kNtDeviceName, DeviceOpenMode::ReadShared);
  PortRangeRequest request;
  request.command = kOpenPortRange;
  request.firstPort = 0x378;
  request.portCount = 5;
  const auto bytes = request.bytes();
  std::uint32_t returned = 0;
  ASSERT_TRUE(otherDevice.request(otherHandle, kPortRangeRequestCode, bytes.data(), bytes.size(),
                                  returned));

  UsePortgate();
  ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  ClearTranscript();
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_TRUE(windows_.sent.empty());
  EXPECT_EQ(Transcript().rfind("-> ERROR: port 378h is in use by another program (", 0), 0u)
      << Transcript();
  EXPECT_NE(Transcript().find("pid "), std::string::npos) << Transcript();
  state.portBase = 0x278;
  EXPECT_EQ(EnablePortAccess(), 1);

  ASSERT_TRUE(otherDevice.close(otherHandle));
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(windows_.sent.back().input, Request(1, 0x378, 5));
}

// Without the driver's grant an IN or OUT would fault: a refused grant leaves the setup to find
// no port, with the usual texts, and no instruction reaches the port.
TEST_F(PortgateTest, RefusedGrantMakesTheSetupFindNoDevice) {
  struct Refusal {
    const char* name;
    bool answered;
    std::uint32_t bytesReturned;
  };
  for (const Refusal& refusal :
       {Refusal{"request failed", false, 0}, Refusal{"bytes returned", true, 4}}) {
    SCOPED_TRACE(refusal.name);
    testing::ResetLibrary(Directory());
    windows_ = RecordedWindows{};
    windows_.requestsAnswered = refusal.answered;
    windows_.bytesReturned = refusal.bytesReturned;
    UsePortgate();
    ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
    ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
    ClearTranscript();
    EXPECT_EQ(SetupOmrix(0x378), 2);
    EXPECT_NE(Transcript().find("Setup device at I/O address 378h...\n"), std::string::npos);
    EXPECT_NE(Transcript().find("-> device not found\n"), std::string::npos) << Transcript();
    EXPECT_NE(Transcript().find("-> setup failed, see messages\n"), std::string::npos);
    EXPECT_TRUE(windows_.portAccesses.empty());
    EXPECT_EQ(state.portBase, kNoDevice);
  }
}

}  // namespace
}  // namespace omrix
