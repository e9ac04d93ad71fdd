// Bus cycles against the simulated board: what reaches the board's registers and back.
#include <gtest/gtest.h>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

constexpr std::uint8_t kModes[] = {kModeSpp, kModePs2, kModeEpp};

class BusSimTest : public testing::LibraryTest {
 protected:
  // Brings the library up on `board` with the device at `base` and the setup design loaded.
  void Start(const sim::SimConfig& board = {}, std::uint16_t base = 0x378) {
    testing::ResetLibrary(Directory(), board);
    ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
    state.portBase = base;
    ASSERT_EQ(EnablePortAccess(), 1);
    testing::Board().loadDesign(sim::Design::Setup);
  }
  void UseMode(std::uint8_t mode) {
    state.PPcontrol = mode;
    SendTransferMode();
  }
};

TEST_F(BusSimTest, WrittenBytesReadBackInEveryMode) {
  Start();
  for (std::uint8_t mode : kModes) {
    SCOPED_TRACE(static_cast<int>(mode));
    UseMode(mode);
    EXPECT_EQ(inbyte(0), mode == kModeSpp ? 0 : mode == kModePs2 ? 2 : 4);
    for (std::int32_t value : {0x00, 0xFF, 0x5A, 0xA5, 0x12, 0xEF, 0x80, 0x01}) {
      outbyte(1, value);
      EXPECT_EQ(inbyte(1), value);
      outbyte(3, value);
      EXPECT_EQ(inbyte(2), value);  // address 2 echoes the byte written to 3
      EXPECT_EQ(testing::Board().boardRegister(3), value);
    }
    EXPECT_EQ(inbyte(7), 0xFF);  // unused address
  }
}

TEST_F(BusSimTest, StreamCyclesStayOnTheLastAddress) {
  Start();
  for (std::uint8_t mode : kModes) {
    SCOPED_TRACE(static_cast<int>(mode));
    UseMode(mode);
    outbyte(3, 0x11);
    outbyteS(0x22);
    outbyteS(0x33);
    EXPECT_EQ(testing::Board().boardRegister(3), 0x33);
    outbyte(1, 0x44);
    EXPECT_EQ(inbyte(1), 0x44);
    EXPECT_EQ(inbyteS(), 0x44);
  }
}

TEST_F(BusSimTest, ToggleCheckPassesAndKeepsTheOtherBits) {
  Start();
  for (std::uint8_t mode : kModes) {
    SCOPED_TRACE(static_cast<int>(mode));
    UseMode(mode);
    outbyte(1, 0x95);
    EXPECT_EQ(ToggleCheck(), 1);
    EXPECT_EQ(testing::Board().boardRegister(1), 0x15);
  }
}

TEST_F(BusSimTest, ToggleCheckFailsWithoutSomethingThatAnswers) {
  struct Case {
    const char* name;
    sim::SimConfig board;
    std::uint16_t base;
    bool loadDesign;
  };
  sim::SimConfig noBoard;
  noBoard.board.reset();
  sim::SimConfig noPort;
  noPort.ports = {0x278};
  noPort.board = 0x278;
  const Case cases[] = {{"no_board", noBoard, 0x378, true},
                        {"no_design", {}, 0x378, false},
                        {"no_port", noPort, 0x378, true},
                        {"board_on_another_port", noPort, 0x3BC, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.board, c.base);
    if (!c.loadDesign) testing::Board().loadDesign(sim::Design::None);
    for (std::uint8_t mode : kModes) {
      UseMode(mode);
      EXPECT_EQ(ToggleCheck(), 0) << static_cast<int>(mode);
    }
  }
}

TEST_F(BusSimTest, ReadInTheWrongModeGivesWrongData) {
  Start();
  outbyte(1, 0x3C);
  const std::pair<std::uint8_t, std::uint8_t> mismatches[] = {{kModeSpp, kModePs2},
                                                              {kModePs2, kModeSpp},
                                                              {kModeEpp, kModeSpp},
                                                              {kModeEpp, kModePs2},
                                                              {kModeSpp, kModeEpp}};
  for (const auto& [boardMode, readMode] : mismatches) {
    UseMode(boardMode);
    state.PPcontrol = readMode;
    EXPECT_NE(inbyte(1), 0x3C) << int{boardMode} << " read as " << int{readMode};
  }
}

TEST_F(BusSimTest, SppWriteTakesTheBoardOutOfEpp) {
  Start();
  UseMode(kModeEpp);
  ASSERT_EQ(testing::Board().boardRegister(0), 4);
  UseMode(kModeSpp);
  EXPECT_EQ(testing::Board().boardRegister(0), 0);
  outbyte(1, 0x66);
  EXPECT_EQ(inbyte(1), 0x66);
}

TEST_F(BusSimTest, ReadsNeedTheirSettleTime) {
  sim::SimConfig slow;
  slow.settle = 9;
  slow.settlePs2 = 4;
  Start(slow);
  const struct {
    std::uint8_t mode;
    std::uint8_t tooShort, enough;
  } cases[] = {{kModeSpp, 8, 9}, {kModePs2, 3, 4}, {kModeEpp, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    UseMode(c.mode);
    outbyte(1, 0x5A);
    state.PPwait = c.enough;
    EXPECT_EQ(inbyte(1), 0x5A);
    if (c.mode != kModeEpp) {
      state.PPwait = c.tooShort;
      EXPECT_NE(inbyte(1), 0x5A);
    }
  }
}

TEST_F(BusSimTest, AckFollowsTheBoard) {
  Start();
  EXPECT_EQ(PPackGet(), 1);
  testing::Board().setAck(0);
  EXPECT_EQ(PPackGet(), 0);
}

TEST_F(BusSimTest, UnidirectionalPortCannotReadByteWide) {
  sim::SimConfig board;
  board.bidir = std::vector<std::uint16_t>{};
  Start(board);
  UseMode(kModePs2);
  outbyte(1, 0x3C);
  EXPECT_NE(inbyte(1), 0x3C);
  UseMode(kModeSpp);
  EXPECT_EQ(inbyte(1), 0x3C);
}

TEST_F(BusSimTest, PortWithoutEppDropsEppCycles) {
  sim::SimConfig board;
  board.epp = std::vector<std::uint16_t>{};
  Start(board);
  UseMode(kModeEpp);
  outbyte(1, 0x3C);
  EXPECT_NE(testing::Board().boardRegister(1), 0x3C);
  EXPECT_NE(inbyte(1), 0x3C);
}

TEST_F(BusSimTest, CyclesCostTheirAccessesInModelledTime) {
  Start();
  const std::pair<std::uint8_t, std::uint64_t> modes[] = {
      {kModeSpp, 16}, {kModePs2, 13}, {kModeEpp, 4}};
  for (const auto& [mode, accesses] : modes) {
    UseMode(mode);
    state.PPwait = 0;
    testing::Board().resetAccessCounts();
    const std::uint64_t before = testing::Board().nowNs();
    outbyte(1, 2);
    inbyte(1);
    EXPECT_EQ(testing::Board().accessCounts().total(), accesses) << int{mode};
    EXPECT_EQ(testing::Board().nowNs() - before, accesses * 1000) << int{mode};
  }
}

}  // namespace
}  // namespace omrix
