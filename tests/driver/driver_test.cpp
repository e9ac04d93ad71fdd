// Bring-up of the port-I/O driver through every branch, and the port-range requests.
#include <gtest/gtest.h>

#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "platform/backends.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"

namespace omrix {
namespace {

using Calls = std::vector<std::string>;

const std::string kManager = "open manager " + std::to_string(0xF003F);
const std::string kService = "open service PORTGATE";

class DriverTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    world_ = std::make_shared<testing::DriverWorld>();
  }
  // Brings the driver up on the scripted world and returns DriverLoad's result.
  int Load() {
    port_ = testing::InstallScriptedPlatform(world_);
    std::string problem;
    EXPECT_TRUE(platform::selectPortBackend(Directory(), problem));
    return DriverLoad();
  }

  std::shared_ptr<testing::DriverWorld> world_;
  testing::RecordingPort* port_ = nullptr;
};

struct BringUpCase {
  const char* name;
  std::function<void(testing::DriverWorld&)> arrange;
  int expected;
  Calls calls;
  bool installedAfter;
};

TEST_F(DriverTest, BringUpBranches) {
  const BringUpCase cases[] = {
      {"already_running",
       [](auto& w) { w.installed = w.running = true; },
       1,
       {"open device"},
       true},
      {"installed_and_stopped",
       [](auto& w) { w.installed = true; },
       1,
       {"open device", kManager, kService, "start", "open device"},
       true},
      {"not_installed",
       [](auto&) {},
       1,
       {"open device", kManager, kService, kManager, "create", kManager, kService, "start",
        "open device"},
       true},
      {"stale_entry_replaced_once",
       [](auto& w) { w.installed = w.staleEntry = true; },
       1,
       {"open device", kManager, kService, "start", kManager, "create", kManager, kService,
        "delete", kManager, "create", kManager, kService, "start", "open device"},
       true},
      {"create_fails_twice",
       [](auto& w) { w.createFailures = 2; },
       0,
       {"open device", kManager, kService, kManager, "create", kManager, kService, kManager,
        "create"},
       false},
      {"start_fails_after_fresh_create_deletes_it",
       [](auto& w) { w.startFails = true; },
       0,
       {"open device", kManager, kService, kManager, "create", kManager, kService, "start",
        kManager, kService, "delete"},
       false},
      {"no_service_manager",
       [](auto& w) { w.managerAvailable = false; },
       0,
       {"open device", kManager, kManager, kManager, kManager},
       false},
  };
  for (const BringUpCase& c : cases) {
    SCOPED_TRACE(c.name);
    world_ = std::make_shared<testing::DriverWorld>();
    c.arrange(*world_);
    EXPECT_EQ(Load(), c.expected);
    EXPECT_EQ(world_->calls, c.calls);
    EXPECT_EQ(world_->installed, c.installedAfter);
    EXPECT_EQ(state.isWindowsNT, 1);
    EXPECT_EQ(state.driverHandle != platform::kInvalidHandle, c.expected == 1);
  }
}

TEST_F(DriverTest, ServiceIsCreatedAsAutoStartKernelDriverBesideTheProgram) {
  world_->programPath = "/home/lab user/omrix/omrix";
  ASSERT_EQ(Load(), 1);
  const platform::ServiceConfig& created = world_->lastCreated;
  EXPECT_EQ(created.name, "PORTGATE");
  EXPECT_EQ(created.displayName, "PORTGATE");
  EXPECT_EQ(created.imagePath, "/home/lab user/omrix/PORTGATE.sys");
  EXPECT_EQ(created.access, 0xF01FFu);
  EXPECT_EQ(created.type, 1u);
  EXPECT_EQ(created.startType, 2u);
  EXPECT_EQ(created.errorControl, 1u);
  EXPECT_EQ(world_->openedDeviceNames.back(), "\\\\.\\Dev_PORTGATE");
}

TEST_F(DriverTest, VersionDecidesTheFamily) {
  world_->versionQueryFails = true;
  EXPECT_EQ(Load(), 0);
  EXPECT_TRUE(world_->calls.empty());

  world_ = std::make_shared<testing::DriverWorld>();
  world_->platformId = 3;
  world_->running = true;
  EXPECT_EQ(Load(), 0);
  EXPECT_TRUE(world_->calls.empty());
}

TEST_F(DriverTest, NinetyFiveFamilyOpensTheVirtualDeviceTwiceAtMost) {
  world_->platformId = platform::kPlatform9x;
  world_->programPath = "/opt/omrix/bin/omrix";
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(state.isWindowsNT, 0);
  EXPECT_EQ(world_->calls, (Calls{"open device", "open device"}));
  EXPECT_EQ(world_->openedDeviceNames.front(), "\\\\.\\/opt/omrix/bin/PortGate.VxD");

  world_ = std::make_shared<testing::DriverWorld>();
  world_->platformId = platform::kPlatform9x;
  world_->running = true;
  EXPECT_EQ(Load(), 1);
  EXPECT_EQ(world_->calls, Calls{"open device"});
  // Port I/O needs no grant there: nothing is sent.
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(DisablePortAccess(), 1);
  EXPECT_TRUE(port_->requests().empty());
}

TEST_F(DriverTest, NinetyFiveFamilyPathFailuresOpenNothing) {
  for (auto arrange :
       {+[](testing::DriverWorld& w) { w.shortPathFails = true; },
        +[](testing::DriverWorld& w) { w.programPathFails = true; },
        +[](testing::DriverWorld& w) { w.programPath = "/" + std::string(300, 'x'); }}) {
    world_ = std::make_shared<testing::DriverWorld>();
    world_->platformId = platform::kPlatform9x;
    world_->running = true;
    arrange(*world_);
    EXPECT_EQ(Load(), 0);
    EXPECT_TRUE(world_->openedDeviceNames.empty());
  }
}

std::vector<std::uint8_t> Request(std::uint32_t command, std::uint32_t first, std::uint32_t count) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : {command, first, count, 0u, 0u})
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  return bytes;
}

TEST_F(DriverTest, PortRangeRequestsCarryTheRangeOfTheBase) {
  world_->installed = world_->running = true;
  ASSERT_EQ(Load(), 1);
  const std::pair<std::uint16_t, std::uint32_t> ranges[] = {
      {0x3BC, 3}, {0x378, 5}, {0x2BC, 5}, {0xFFFB, 5}};
  for (const auto& [base, count] : ranges) {
    SCOPED_TRACE(base);
    const std::size_t before = port_->requests().size();
    state.portBase = base;
    EXPECT_EQ(EnablePortAccess(), 1);
    state.portBase = kNoDevice;  // the range given back is the one granted, not portBase's
    EXPECT_EQ(DisablePortAccess(), 1);
    ASSERT_EQ(port_->requests().size(), before + 2);
    EXPECT_EQ(port_->requests()[before].code, 0x9C406000u);
    EXPECT_EQ(port_->requests()[before].input, Request(1, base, count));
    EXPECT_EQ(port_->requests()[before + 1].input, Request(2, base, count));
    EXPECT_TRUE(port_->granted().empty());
  }
}

TEST_F(DriverTest, UnusableBasesAreNeverGranted) {
  world_->installed = world_->running = true;
  ASSERT_EQ(Load(), 1);
  for (std::uint16_t base : {std::uint16_t{0x0000}, std::uint16_t{0xFFFC}, std::uint16_t{0xFFFF}}) {
    state.portBase = base;
    EXPECT_EQ(EnablePortAccess(), 0) << base;
  }
  EXPECT_EQ(DisablePortAccess(), 1);
  EXPECT_TRUE(port_->requests().empty());
}

TEST_F(DriverTest, RequestThatReturnsBytesFails) {
  world_->installed = world_->running = true;
  world_->bytesReturnedByRequest = 4;
  ASSERT_EQ(Load(), 1);
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  const std::size_t sent = port_->requests().size();
  EXPECT_EQ(DisablePortAccess(), 1);  // nothing held, nothing sent
  EXPECT_EQ(port_->requests().size(), sent);
}

TEST_F(DriverTest, NewGrantGivesBackTheOldRangeFirst) {
  world_->installed = world_->running = true;
  ASSERT_EQ(Load(), 1);
  state.portBase = 0x3BC;
  ASSERT_EQ(EnablePortAccess(), 1);
  state.portBase = 0x278;
  ASSERT_EQ(EnablePortAccess(), 1);
  ASSERT_EQ(port_->requests().size(), 3u);
  EXPECT_EQ(port_->requests()[1].input, Request(2, 0x3BC, 3));
  EXPECT_EQ(port_->granted().size(), 1u);
  EXPECT_EQ(port_->granted()[0].first, 0x278u);
}

TEST_F(DriverTest, UnloadClosesOnlyAnOpenHandle) {
  EXPECT_EQ(DriverUnload(), 0);  // not open since load
  world_->installed = world_->running = true;
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(DriverUnload(), 1);
  EXPECT_EQ(DriverUnload(), 0);
  EXPECT_EQ(world_->calls, (Calls{"open device", "close device"}));
}

}  // namespace
}  // namespace omrix
