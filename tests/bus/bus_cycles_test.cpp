// Exact port-access sequences of every bus cycle, against a port that records them.
#include <gtest/gtest.h>

#include <functional>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"

namespace omrix {
namespace {

using testing::PortAccess;

constexpr std::uint32_t kData = 0x378, kStatus = 0x379, kControl = 0x37A, kEppAddress = 0x37B,
                        kEppData = 0x37C;

PortAccess O(std::uint32_t port, std::uint8_t value) { return {'o', port, value}; }
PortAccess I(std::uint32_t port, std::uint8_t value) { return {'i', port, value}; }

class BusCycleTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    world_ = std::make_shared<testing::DriverWorld>();
    world_->running = true;
    port_ = testing::InstallScriptedPlatform(world_);
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(nullptr), 1);
    state.portBase = 0x378;
    ASSERT_EQ(EnablePortAccess(), 1);
  }

  std::shared_ptr<testing::DriverWorld> world_;
  testing::RecordingPort* port_ = nullptr;
};

struct CycleCase {
  const char* name;
  std::uint8_t ppControl;
  std::function<std::int32_t()> cycle;
  std::vector<std::uint8_t> answers;
  std::vector<PortAccess> expected;
  std::int32_t expectedResult;  // -1: the cycle has no result
};

const std::vector<CycleCase>& CycleCases() {
  static const std::vector<CycleCase> cases = {
      {"spp_write",
       0x04,
       [] {
         outbyte(0x12, 0x34);
         return -1;
       },
       {},
       {O(kData, 0x12), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 0x34), O(kControl, 0x05),
        O(kControl, 0x04)},
       -1},
      {"ps2_write_drives_with_direction_cleared",
       0xA4,
       [] {
         outbyte(0x12, 0x34);
         return -1;
       },
       {},
       {O(kData, 0x12), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 0x34), O(kControl, 0x05),
        O(kControl, 0x04)},
       -1},
      {"write_keeps_irq_enable",
       0x14,
       [] {
         outbyte(1, 2);
         return -1;
       },
       {},
       {O(kData, 1), O(kControl, 0x1C), O(kControl, 0x14), O(kData, 2), O(kControl, 0x15),
        O(kControl, 0x14)},
       -1},
      {"epp_write",
       0x44,
       [] {
         outbyte(0x12, 0x34);
         return -1;
       },
       {},
       {O(kEppAddress, 0x12), O(kEppData, 0x34)},
       -1},
      {"only_low_bytes_reach_the_bus",
       0x44,
       [] {
         outbyte(0x1FF, 0x2AB);
         return -1;
       },
       {},
       {O(kEppAddress, 0xFF), O(kEppData, 0xAB)},
       -1},
      {"spp_stream_write",
       0x04,
       [] {
         outbyteS(0x34);
         return -1;
       },
       {},
       {O(kData, 0x34), O(kControl, 0x05), O(kControl, 0x04)},
       -1},
      {"epp_stream_write",
       0x44,
       [] {
         outbyteS(0x34);
         return -1;
       },
       {},
       {O(kEppData, 0x34)},
       -1},
      {"spp_read_nibbles_12",
       0x04,
       [] { return inbyte(0x12); },
       {0x80, 0x08},
       {O(kData, 0x12), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0x06), O(kData, 0x01),
        I(kStatus, 0x80), O(kData, 0x00), I(kStatus, 0x08), O(kControl, 0x04), O(kControl, 0x04)},
       0x12},
      {"spp_read_nibbles_EF",
       0x04,
       [] { return inbyte(0x12); },
       {0x38, 0xB8},
       {O(kData, 0x12), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0x06), O(kData, 0x01),
        I(kStatus, 0x38), O(kData, 0x00), I(kStatus, 0xB8), O(kControl, 0x04), O(kControl, 0x04)},
       0xEF},
      {"spp_read_ignores_status_bits_0_to_2_and_6",
       0x04,
       [] { return inbyte(0); },
       {0x47, 0x47},
       {O(kData, 0x00), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0x06), O(kData, 0x01),
        I(kStatus, 0x47), O(kData, 0x00), I(kStatus, 0x47), O(kControl, 0x04), O(kControl, 0x04)},
       0x00},
      {"ps2_read",
       0xA4,
       [] { return inbyte(0x12); },
       {0x5A},
       {O(kData, 0x12), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0xA6), I(kData, 0x5A),
        O(kControl, 0xA4), O(kControl, 0x04)},
       0x5A},
      {"direction_bit_alone_reads_byte_wide",
       0x24,
       [] { return inbyte(3); },
       {0x99},
       {O(kData, 3), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0x26), I(kData, 0x99),
        O(kControl, 0x24), O(kControl, 0x04)},
       0x99},
      {"ps2_flag_alone_reads_byte_wide",
       0x84,
       [] { return inbyte(3); },
       {0x99},
       {O(kData, 3), O(kControl, 0x0C), O(kControl, 0x04), O(kControl, 0x86), I(kData, 0x99),
        O(kControl, 0x84), O(kControl, 0x04)},
       0x99},
      {"epp_read",
       0x44,
       [] { return inbyte(0x12); },
       {0x5A},
       {O(kEppAddress, 0x12), I(kEppData, 0x5A)},
       0x5A},
      {"spp_stream_read",
       0x04,
       [] { return inbyteS(); },
       {0x80, 0x08},
       {O(kControl, 0x06), O(kData, 0x01), I(kStatus, 0x80), O(kData, 0x00), I(kStatus, 0x08),
        O(kControl, 0x04), O(kControl, 0x04)},
       0x12},
      {"ps2_stream_read",
       0xA4,
       [] { return inbyteS(); },
       {0x77},
       {O(kControl, 0xA6), I(kData, 0x77), O(kControl, 0xA4), O(kControl, 0x04)},
       0x77},
      {"epp_stream_read", 0x44, [] { return inbyteS(); }, {0x77}, {I(kEppData, 0x77)}, 0x77},
      {"ack_high", 0x04, [] { return PPackGet(); }, {0x40}, {I(kStatus, 0x40)}, 1},
      {"ack_low", 0x04, [] { return PPackGet(); }, {0xBF}, {I(kStatus, 0xBF)}, 0},
      {"init_low",
       0x04,
       [] {
         PPinitSet(0);
         return -1;
       },
       {},
       {O(kControl, 0x00)},
       -1},
      {"irq_enable",
       0x04,
       [] {
         PPirqenSet(5);
         return -1;
       },
       {},
       {O(kControl, 0x14)},
       -1},
      {"irq_disable_writes_whole_shadow",
       0xB4,
       [] {
         PPirqenSet(0);
         return -1;
       },
       {},
       {O(kControl, 0xA4)},
       -1},
      {"transfer_mode_spp",
       0x04,
       [] {
         SendTransferMode();
         return -1;
       },
       {},
       {O(kData, 0), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 0), O(kControl, 0x05),
        O(kControl, 0x04)},
       -1},
      {"transfer_mode_ps2",
       0xA4,
       [] {
         SendTransferMode();
         return -1;
       },
       {},
       {O(kData, 0), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 2), O(kControl, 0x05),
        O(kControl, 0x04)},
       -1},
      {"transfer_mode_epp_first_as_spp_then_as_epp",
       0x44,
       [] {
         SendTransferMode();
         return -1;
       },
       {},
       {O(kData, 0), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 4), O(kControl, 0x05),
        O(kControl, 0x04), O(kEppAddress, 0), O(kEppData, 4)},
       -1},
      {"transfer_mode_tests_ps2_before_epp",
       0xE4,
       [] {
         SendTransferMode();
         return -1;
       },
       {},
       {O(kEppAddress, 0), O(kEppData, 2)},
       -1},
      {"lines_0",
       0x04,
       [] {
         SetPortLines(PortLines::ConfigurationLoaded);
         return -1;
       },
       {},
       {O(kControl, 0x00), O(kData, 0x00)},
       -1},
      {"lines_1",
       0x04,
       [] {
         SetPortLines(PortLines::LoadFromFlash);
         return -1;
       },
       {},
       {O(kControl, 0x00), O(kData, 0x02), O(kControl, 0x0B), O(kData, 0x00), O(kControl, 0x00)},
       -1},
      {"lines_2",
       0x04,
       [] {
         SetPortLines(PortLines::FpgaHeldClear);
         return -1;
       },
       {},
       {O(kControl, 0x00), O(kData, 0x00), O(kControl, 0x0B)},
       -1},
      {"lines_3",
       0x04,
       [] {
         SetPortLines(PortLines::ConfigurationStart);
         return -1;
       },
       {},
       {O(kControl, 0x00), O(kData, 0x02), O(kControl, 0x0B)},
       -1},
      {"lines_4",
       0x44,
       [] {
         SetPortLines(PortLines::AfterEppAttempt);
         return -1;
       },
       {},
       {O(kControl, 0x4E)},
       -1},
      {"lines_5",
       0xA4,
       [] {
         SetPortLines(PortLines::AtRest);
         return -1;
       },
       {},
       {O(kControl, 0x04), O(kData, 0x00)},
       -1},
  };
  return cases;
}

TEST_F(BusCycleTest, EveryCycleMakesExactlyItsPortAccesses) {
  for (const CycleCase& c : CycleCases()) {
    SCOPED_TRACE(c.name);
    state.PPcontrol = c.ppControl;
    port_->accesses.clear();
    port_->answers.assign(c.answers.begin(), c.answers.end());
    const std::int32_t result = c.cycle();
    EXPECT_EQ(port_->accesses, c.expected);
    if (c.expectedResult >= 0) {
      EXPECT_EQ(result, c.expectedResult);
    }
  }
}

TEST_F(BusCycleTest, AccessCountsPerCycle) {
  struct Count {
    std::uint8_t ppControl;
    std::size_t write, streamWrite, read, streamRead;
  };
  for (const Count& c :
       {Count{0x04, 6, 3, 10, 7}, Count{0xA4, 6, 3, 7, 4}, Count{0x44, 2, 1, 2, 1}}) {
    SCOPED_TRACE(static_cast<int>(c.ppControl));
    state.PPcontrol = c.ppControl;
    const std::pair<std::function<void()>, std::size_t> cycles[] = {
        {[] { outbyte(5, 6); }, c.write},
        {[] { outbyteS(6); }, c.streamWrite},
        {[] { inbyte(5); }, c.read},
        {[] { inbyteS(); }, c.streamRead}};
    for (const auto& [cycle, count] : cycles) {
      port_->accesses.clear();
      cycle();
      EXPECT_EQ(port_->accesses.size(), count);
    }
  }
}

TEST_F(BusCycleTest, SettleDelayOnlyBeforeSampling) {
  state.PPwait = 7;
  const std::pair<std::uint8_t, std::vector<std::int32_t>> modes[] = {
      {0x04, {7, 7}}, {0xA4, {7}}, {0x44, {}}};
  for (const auto& [mode, settles] : modes) {
    state.PPcontrol = mode;
    port_->settles.clear();
    inbyte(1);
    EXPECT_EQ(port_->settles, settles) << static_cast<int>(mode);
  }
}

TEST_F(BusCycleTest, BusyWaitReturnsAtOnceForCountsUpToZero) {
  for (std::int32_t count : {-5, 0}) BusyWait(count);
  EXPECT_TRUE(port_->settles.empty());
  BusyWait(3);
  EXPECT_EQ(port_->settles, std::vector<std::int32_t>{3});
}

TEST_F(BusCycleTest, InitAndIrqLevelsChangeOnlyTheirBit) {
  state.PPcontrol = 0x04;
  PPinitSet(0);
  EXPECT_EQ(state.PPcontrol, 0x00);
  PPinitSet(1);
  EXPECT_EQ(state.PPcontrol, 0x04);
  PPirqenSet(1);
  PPinitSet(0);
  EXPECT_EQ(state.PPcontrol, 0x10);
}

TEST_F(BusCycleTest, TransferModeLeavesEppRecorded) {
  state.PPcontrol = 0x44;
  SendTransferMode();
  EXPECT_EQ(state.PPcontrol, 0x44);
}

TEST_F(BusCycleTest, NoDeviceMeansNoPortIsTouched) {
  ASSERT_EQ(DisablePortAccess(), 1);
  state.portBase = kNoDevice;
  state.PPcontrol = 0x44;
  port_->accesses.clear();
  outbyte(1, 2);
  EXPECT_EQ(inbyte(1), 0xFF);
  state.PPcontrol = 0x04;
  EXPECT_EQ(inbyte(1), 0xFF);
  EXPECT_TRUE(port_->accesses.empty());
}

}  // namespace
}  // namespace omrix
