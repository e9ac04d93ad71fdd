// Releasing the device against the simulated board, and the device state.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "setup/setup_data.h"
#include "setup/setup_data_writer.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

using testing::ReadLines;
using testing::ReadWholeFile;

std::string RunDataPort(const std::string& file) {
  const std::size_t at = file.find("#run_data\n") + 10;
  return file.substr(at, file.find(' ', at) - at);
}

class DeviceStateTest : public testing::LibraryTest {
 protected:
  // A device current at 0x378 in `mode`, with the setup design loaded and a file on disk.
  void SetUpDevice(std::uint8_t mode) {
    ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
    ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
    state.portBase = 0x378;
    ASSERT_EQ(EnablePortAccess(), 1);
    testing::Board().loadDesign(sim::Design::Setup);
    state.PPcontrol = mode;
    SendTransferMode();
    PPirqenSet(1);
    ClearTranscript();
  }
  std::string File() const { return ReadLines(Directory() + "omrix.dat"); }
};

TEST_F(DeviceStateTest, EachModeLeavesItsLinesRangeAndPort) {
  struct Case {
    std::int32_t mode;
    sim::Design design;    // what the FPGA holds afterwards
    std::uint8_t control;  // the port's control register afterwards
    const char* filePort;
  };
  // Modes 0 and 1 hold the FPGA cleared; mode 2 leaves the design running for a JTAG tool.
  const Case cases[] = {{0, sim::Design::None, 0x0B, "378"},
                        {1, sim::Design::None, 0x0B, "FFFF"},
                        {2, sim::Design::Setup, 0x04, "378"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SetUpDevice(kModeEpp);
    EXPECT_EQ(IsDeviceInitialized(), 1);
    EXPECT_EQ(DeInitOmrix(c.mode), 0);
    EXPECT_EQ(IsDeviceInitialized(), 0);
    EXPECT_EQ(state.portBase, kNoDevice);
    EXPECT_EQ(testing::Board().design(), c.design);
    EXPECT_TRUE(platform::portBackend().granted().empty());
    // The range is given back, so look at the lines through a new grant.
    state.portBase = 0x378;
    ASSERT_EQ(EnablePortAccess(), 1);
    EXPECT_EQ(PortIn(0x37A) & 0x3F, c.control);
    EXPECT_EQ(PortIn(0x378), 0x00);
    EXPECT_EQ(RunDataPort(File()), c.filePort);
    EXPECT_EQ(Transcript(), "");
    DisablePortAccess();
    state.portBase = kNoDevice;
  }
}

TEST_F(DeviceStateTest, IrqEnableIsTurnedOff) {
  SetUpDevice(kModeSpp);
  ASSERT_EQ(state.PPcontrol & 0x10, 0x10);
  DeInitOmrix(0);
  EXPECT_EQ(state.PPcontrol & 0x10, 0);
  EXPECT_NE(File().find("\n4 //HEX PPcontrol\n"), std::string::npos);
}

TEST_F(DeviceStateTest, WithoutADeviceNothingHappens) {
  ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  std::ofstream(Directory() + "omrix.dat") << "not even a setup data file";
  ClearTranscript();
  testing::Board().resetAccessCounts();
  for (std::int32_t mode : {0, 1, 2}) EXPECT_EQ(DeInitOmrix(mode), 0);
  EXPECT_EQ(ReadWholeFile(Directory() + "omrix.dat"), "not even a setup data file");
  EXPECT_EQ(testing::Board().accessCounts().total(), 0u);
  EXPECT_EQ(Transcript(), "");
}

TEST_F(DeviceStateTest, FailedRewriteStillReleasesTheDevice) {
  SetUpDevice(kModeSpp);
  std::filesystem::remove(Directory() + "omrix.dat");
  EXPECT_EQ(DeInitOmrix(0), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_EQ(IsDeviceInitialized(), 0);
  EXPECT_TRUE(platform::portBackend().granted().empty());
}

TEST_F(DeviceStateTest, AutoSetupChangesNothing) {
  SetUpDevice(kModeSpp);
  const std::string before = File();
  testing::Board().resetAccessCounts();
  EXPECT_EQ(AutoSetup(0, -1, 0x378, 12345), 1);
  EXPECT_EQ(File(), before);
  EXPECT_EQ(state.portBase, 0x378);
  EXPECT_EQ(testing::Board().accessCounts().total(), 0u);
}

TEST_F(DeviceStateTest, RightAfterInitNoDeviceIsCurrent) {
  state.portBase = 0x378;
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  EXPECT_EQ(IsDeviceInitialized(), 0);
}

}  // namespace
}  // namespace omrix
