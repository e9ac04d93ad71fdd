#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::SetupBoard;

constexpr uint16_t kBase = 0x378;

struct TransferMode {
  const char* name;
  uint8_t ppControl;
  uint8_t modeCode;  // what ModeRegister holds afterwards
};

void PrintTo(const TransferMode& mode, std::ostream* os) { *os << mode.name; }

const TransferMode kTransferModes[] = {
    {"Spp", HostBus::kSpp, 0},
    {"Ps2", HostBus::kPs2, 2},
    {"Epp", HostBus::kEpp, 4},
};

std::array<uint8_t, 256> AllRegisters(const Simulator& sim) {
  std::array<uint8_t, 256> values{};
  for (std::size_t a = 0; a < values.size(); ++a)
    values[a] = sim.boardRegister(static_cast<uint8_t>(a));
  return values;
}

class TransferModeTest : public ::testing::TestWithParam<TransferMode> {
 protected:
  TransferModeTest() : sim_(SetupBoard()), bus_(sim_, kBase, GetParam().ppControl) {
    bus_.sendTransferMode();
  }
  Simulator sim_;
  HostBus bus_;
};

TEST_P(TransferModeTest, SendTransferModeSetsModeRegister) {
  EXPECT_EQ(sim_.boardRegister(Board::kModeRegister), GetParam().modeCode);
}

TEST_P(TransferModeTest, WriteThenReadRoundTrips) {
  const uint8_t addresses[] = {1, 3, 4, 5, 6};
  const uint8_t values[] = {0x00, 0xFF, 0x5A, 0xA5, 0x12, 0xEF, 0x80, 0x01};
  for (const uint8_t address : addresses) {
    for (const uint8_t value : values) {
      SCOPED_TRACE("address " + std::to_string(address) + " value " + std::to_string(value));
      bus_.outbyte(address, value);
      EXPECT_EQ(sim_.boardRegister(address), value);
      EXPECT_EQ(bus_.inbyte(address), value);
    }
  }
}

TEST_P(TransferModeTest, StreamCyclesUseTheLastAddressWithoutAdvancing) {
  bus_.outbyte(4, 0x11);
  bus_.outbyteS(0x22);
  bus_.outbyteS(0x33);
  EXPECT_EQ(sim_.boardRegister(4), 0x33);
  EXPECT_EQ(sim_.boardRegister(5), 0x00);
  EXPECT_EQ(sim_.boardBusAddress(), 4);
  EXPECT_EQ(bus_.inbyteS(), 0x33);
  sim_.setBoardRegister(4, 0x44);
  EXPECT_EQ(bus_.inbyteS(), 0x44);
}

TEST_P(TransferModeTest, FlashControlAddressReadsBackTheFlashDataByte) {
  bus_.outbyte(Board::kFlashData, 0x3C);
  bus_.outbyte(Board::kFlashControl, 0xC3);
  EXPECT_EQ(sim_.boardRegister(Board::kFlashControl), 0xC3);
  EXPECT_EQ(sim_.boardRegister(Board::kFlashData), 0x3C);
  EXPECT_EQ(bus_.inbyte(Board::kFlashControl), 0x3C);
}

TEST_P(TransferModeTest, AddressesWithoutRegisterReadFFAndIgnoreWrites) {
  const auto before = AllRegisters(sim_);
  for (const uint8_t address : {uint8_t{7}, uint8_t{8}, uint8_t{0x80}, uint8_t{0xFF}}) {
    SCOPED_TRACE(address);
    bus_.outbyte(address, 0x5A);
    EXPECT_EQ(bus_.inbyte(address), 0xFF);
  }
  EXPECT_EQ(AllRegisters(sim_), before);
}

TEST_P(TransferModeTest, PowerUpValuesReadBack) {
  EXPECT_EQ(bus_.inbyte(Board::kModeRegister), GetParam().modeCode);
  EXPECT_EQ(bus_.inbyte(Board::kConfigRegister), 0x01);
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferModeTest, ::testing::ValuesIn(kTransferModes),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(BoardModes, SppAndPs2WritesSwitchABoardOutOfEpp) {
  for (const TransferMode& writer : {kTransferModes[0], kTransferModes[1]}) {
    SCOPED_TRACE(writer.name);
    Simulator sim = SetupBoard();
    HostBus bus(sim, kBase, HostBus::kEpp);
    bus.sendTransferMode();
    ASSERT_EQ(sim.boardRegister(Board::kModeRegister), Board::kModeEpp);
    bus.setMode(writer.ppControl);
    bus.sendTransferMode();
    EXPECT_EQ(sim.boardRegister(Board::kModeRegister), writer.modeCode);
    EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x01);
  }
}

TEST(BoardModes, OtherModeValuesAnswerNoReadsButStillTakeWrites) {
  Simulator sim = SetupBoard();
  HostBus bus(sim, kBase);
  bus.outbyte(Board::kModeRegister, 1);
  EXPECT_EQ(sim.boardRegister(Board::kModeRegister), 1);
  bus.outbyte(3, 0x77);
  EXPECT_EQ(sim.boardRegister(3), 0x77);
  for (const uint8_t reader : {HostBus::kSpp, HostBus::kPs2, HostBus::kEpp}) {
    SCOPED_TRACE(reader);
    bus.setMode(reader);
    EXPECT_EQ(bus.inbyte(3), 0xFF);
  }
}

TEST(BoardModes, MismatchedReadsGiveWrongData) {
  struct Row {
    uint8_t boardMode;
    uint8_t reader;
  };
  const Row rows[] = {
      {HostBus::kSpp, HostBus::kPs2}, {HostBus::kSpp, HostBus::kEpp},
      {HostBus::kPs2, HostBus::kSpp}, {HostBus::kPs2, HostBus::kEpp},
      {HostBus::kEpp, HostBus::kSpp}, {HostBus::kEpp, HostBus::kPs2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("board " + std::to_string(row.boardMode) + " reader " +
                 std::to_string(row.reader));
    Simulator sim = SetupBoard();
    HostBus bus(sim, kBase, row.boardMode);
    bus.sendTransferMode();
    sim.setBoardRegister(5, 0x5A);
    bus.setMode(row.reader);
    EXPECT_EQ(bus.inbyte(5), 0xFF);
  }
}

TEST(BoardModes, EppCyclesAreIgnoredUnlessTheBoardIsInEpp) {
  for (const uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
    SCOPED_TRACE(mode);
    Simulator sim = SetupBoard();
    sim.setBoardRegister(Board::kModeRegister, mode);
    HostBus spp(sim, kBase);
    spp.outbyte(6, 0x10);
    const auto before = AllRegisters(sim);
    sim.out(kBase + 3, 5);
    sim.out(kBase + 4, 0x99);
    EXPECT_EQ(sim.in(kBase + 3), 0xFF);
    EXPECT_EQ(sim.in(kBase + 4), 0xFF);
    EXPECT_EQ(AllRegisters(sim), before);
    EXPECT_EQ(sim.boardBusAddress(), 6);
  }
}

TEST(BoardModes, EppAddressReadReturnsTheAddress) {
  Simulator sim = SetupBoard();
  sim.setBoardRegister(Board::kModeRegister, Board::kModeEpp);
  sim.out(kBase + 3, 0x05);
  EXPECT_EQ(sim.in(kBase + 3), 0x05);
  sim.out(kBase + 3, 0xA0);
  EXPECT_EQ(sim.in(kBase + 3), 0xA0);
}

TEST(NibbleRead, StatusLinesCarryTheSelectedNibble) {
  struct Row {
    uint8_t value;
    uint8_t highStatus;  // status & 0xB8 with D0 high
    uint8_t lowStatus;   // status & 0xB8 with D0 low
  };
  const Row rows[] = {
      {0x12, 0x80, 0x08}, {0xEF, 0x38, 0xB8}, {0x00, 0x00, 0x00},
      {0xFF, 0xB8, 0xB8}, {0x5A, 0x90, 0x28}, {0x81, 0x20, 0x80},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    Simulator sim = SetupBoard();
    HostBus bus(sim, kBase);
    sim.setBoardRegister(4, row.value);
    EXPECT_EQ(bus.inbyte(4), row.value);
    EXPECT_EQ(bus.highStatus(), row.highStatus);
    EXPECT_EQ(bus.lowStatus(), row.lowStatus);
  }
}

TEST(NibbleRead, AnswerFollowsD0WhileTheReadStrobeIsHeld) {
  Simulator sim = SetupBoard();
  sim.setBoardRegister(4, 0x12);
  sim.out(kBase, 4);
  sim.out(kBase + 2, 0x0C);
  sim.out(kBase + 2, 0x04);
  sim.out(kBase + 2, 0x06);
  for (int round = 0; round < 2; ++round) {
    sim.out(kBase, 0x01);
    EXPECT_EQ(sim.in(kBase + 1), 0xC7);  // high nibble 1 on S7, ACK high, bits 0-2 high
    sim.out(kBase, 0x00);
    EXPECT_EQ(sim.in(kBase + 1), 0x4F);  // low nibble 2 on S3
  }
  sim.out(kBase + 2, 0x04);
  EXPECT_EQ(sim.in(kBase + 1), 0xFF);  // strobe released: the board lets go of the lines
}

TEST(Ps2Read, BoardDrivesTheDataLinesOnlyWhileTheReadStrobeIsHeld) {
  Simulator sim = SetupBoard();
  sim.setBoardRegister(Board::kModeRegister, Board::kModePs2);
  sim.setBoardRegister(5, 0x3C);
  sim.out(kBase, 5);
  sim.out(kBase + 2, 0x0C);
  sim.out(kBase + 2, 0x04);
  sim.out(kBase + 2, 0x24);  // lines turned to input, no strobe yet
  EXPECT_EQ(sim.in(kBase), 0xFF);
  sim.out(kBase + 2, 0x26);
  EXPECT_EQ(sim.in(kBase), 0x3C);
  sim.out(kBase + 2, 0x24);
  EXPECT_EQ(sim.in(kBase), 0xFF);
  sim.out(kBase + 2, 0x04);
  EXPECT_EQ(sim.in(kBase), 5);  // the PC's own latch again
}

// Sequences of (offset, value) port writes that hold or pass through control 0x0B.
struct PortWrite {
  uint16_t offset;
  uint8_t value;
};

struct ConfigSequence {
  const char* name;
  std::vector<PortWrite> writes;
};

// PROGRAM (data bit 1) stays high in all of these, so the design stays loaded.
TEST(ConfigurationAccess, ControlOBIsNeverABusCycle) {
  const ConfigSequence sequences[] = {
      {"enter and leave", {{2, 0x00}, {0, 0x02}, {2, 0x0B}, {2, 0x00}}},
      {"start of configuration", {{2, 0x00}, {0, 0x02}, {2, 0x0B}}},
      {"data toggled while held",
       {{2, 0x0B}, {0, 0x03}, {0, 0x07}, {0, 0x02}, {0, 0x06}, {2, 0x00}}},
      {"INIT raised with strobes still held",
       {{2, 0x00}, {0, 0x07}, {2, 0x0B}, {2, 0x0F}, {2, 0x04}}},
      {"read strobe kept on the way out", {{2, 0x0B}, {2, 0x02}, {2, 0x06}, {2, 0x04}}},
  };
  for (const ConfigSequence& sequence : sequences) {
    SCOPED_TRACE(sequence.name);
    Simulator sim = SetupBoard();
    HostBus bus(sim, kBase);
    bus.outbyte(5, 0x33);
    const auto before = AllRegisters(sim);
    for (const PortWrite& write : sequence.writes) {
      sim.out(static_cast<uint16_t>(kBase + write.offset), write.value);
      EXPECT_EQ(sim.in(kBase + 1), 0xFF) << "the board answered a read";
    }
    EXPECT_EQ(AllRegisters(sim), before);
    EXPECT_EQ(sim.boardBusAddress(), 5);
  }
}

TEST(ConfigurationAccess, AllStrobesWithInitHighAreABusCycle) {
  Simulator sim = SetupBoard();
  sim.out(kBase + 2, 0x04);
  sim.out(kBase, 0x03);
  sim.out(kBase + 2, 0x0F);  // address, write and read strobe together
  sim.out(kBase + 2, 0x04);  // taken as they end
  EXPECT_EQ(sim.boardBusAddress(), 3);
  EXPECT_EQ(sim.boardRegister(3), 0x03);
}

TEST(BusCycles, AStrobeLeftAssertedCompletesTheNextCycle) {
  // After a failed EPP attempt the lines are left with SELECT IN and AUTOFEED asserted; the
  // next SPP write's address phase then only releases SELECT IN.
  Simulator sim = SetupBoard();
  sim.out(kBase, 0x04);
  sim.out(kBase + 2, 0x4E);
  sim.out(kBase, 0x00);      // data := address 0
  sim.out(kBase + 2, 0x0C);  // SELECT IN still asserted
  sim.out(kBase + 2, 0x04);  // released: address 0 taken
  sim.out(kBase, 0x02);
  sim.out(kBase + 2, 0x05);
  sim.out(kBase + 2, 0x04);
  EXPECT_EQ(sim.boardRegister(0), 0x02);
}

TEST(Settle, ReadsAreWrongUntilEnoughBusyWaitUnitsPassed) {
  struct Row {
    const char* name;
    uint8_t mode;
    int32_t settle;
    int32_t settlePs2;
    int32_t wait;
    bool right;
  };
  const Row rows[] = {
      {"nibble short", HostBus::kSpp, 3, 0, 2, false},
      {"nibble enough", HostBus::kSpp, 3, 0, 3, true},
      {"nibble more", HostBus::kSpp, 3, 0, 50, true},
      {"nibble ignores the PS2 time", HostBus::kSpp, 0, 3, 0, true},
      {"ps2 short", HostBus::kPs2, 0, 3, 2, false},
      {"ps2 enough", HostBus::kPs2, 0, 3, 3, true},
      {"ps2 ignores the nibble time", HostBus::kPs2, 3, 0, 0, true},
      {"negative wait counts nothing", HostBus::kSpp, 1, 0, -5, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.settle = row.settle;
    config.settlePs2 = row.settlePs2;
    Simulator sim = SetupBoard(config);
    HostBus bus(sim, kBase, row.mode, row.wait);
    bus.sendTransferMode();
    sim.setBoardRegister(6, 0x5A);
    // An unsettled answer is the complement of the right one.
    EXPECT_EQ(bus.inbyte(6), row.right ? 0x5A : 0xA5);
  }
}

TEST(Settle, WaitsAddUpAndOnlyPortWritesRestartTheCount) {
  SimConfig config;
  config.settle = 3;
  Simulator sim = SetupBoard(config);
  sim.setBoardRegister(1, 0xF0);
  sim.out(kBase, 1);
  sim.out(kBase + 2, 0x0C);
  sim.out(kBase + 2, 0x04);
  sim.out(kBase + 2, 0x06);
  sim.out(kBase, 0x01);  // high nibble 0xF: all four status bits high once settled
  sim.busyWait(1);
  sim.busyWait(1);
  EXPECT_EQ(sim.in(kBase + 1) & 0xB8, 0x00);
  sim.busyWait(1);
  EXPECT_EQ(sim.in(kBase + 1) & 0xB8, 0xB8);
  EXPECT_EQ(sim.in(kBase + 1) & 0xB8, 0xB8);  // reading does not restart the count
  sim.out(0x80, 0);                           // any write does
  EXPECT_EQ(sim.in(kBase + 1) & 0xB8, 0x00);
  sim.sleepMs(1);
  EXPECT_EQ(sim.in(kBase + 1) & 0xB8, 0xB8);
}

TEST(NoDecoding, BoardWithoutInterfaceLogicAnswersNothing) {
  struct Row {
    const char* name;
    SimConfig config;
    bool loadSetup;
  };
  SimConfig noBoard;
  noBoard.board.reset();
  SimConfig boardElsewhere;
  boardElsewhere.board = 0x278;  // no port there
  const Row rows[] = {
      {"unconfigured FPGA", SimConfig{}, false},
      {"no board", noBoard, true},
      {"board behind a missing port", boardElsewhere, true},
  };
  for (const Row& row : rows) {
    for (const TransferMode& mode : kTransferModes) {
      SCOPED_TRACE(std::string(row.name) + " " + mode.name);
      Simulator sim(row.config);
      if (row.loadSetup) sim.loadDesign(Design::Setup);
      const auto before = AllRegisters(sim);
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      for (const uint8_t address : {uint8_t{1}, uint8_t{3}, uint8_t{6}}) {
        bus.outbyte(address, 0x5A);
        EXPECT_EQ(bus.inbyte(address), 0xFF);
      }
      EXPECT_EQ(AllRegisters(sim), before);
      EXPECT_EQ(sim.design(), Design::None);
    }
  }
}

TEST(NoDecoding, LoadingADesignStartsFromPowerUpValues) {
  Simulator sim = SetupBoard();
  HostBus bus(sim, kBase, HostBus::kPs2);
  bus.sendTransferMode();
  bus.outbyte(1, 0x80);
  bus.outbyte(4, 0x44);
  sim.loadDesign(Design::None);
  sim.loadDesign(Design::Setup);
  bus.setMode(HostBus::kSpp);
  EXPECT_EQ(bus.inbyte(Board::kModeRegister), 0);
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x01);
  EXPECT_EQ(bus.inbyte(4), 0x00);
}

TEST(Ports, OnlyThePortWithTheBoardReachesIt) {
  SimConfig config;
  config.ports = {0x378, 0x278};
  config.board = 0x278;
  Simulator sim = SetupBoard(config);
  HostBus other(sim, 0x378);
  HostBus boardPort(sim, 0x278);
  other.outbyte(3, 0x11);
  EXPECT_EQ(sim.boardRegister(3), 0x00);
  EXPECT_EQ(other.inbyte(Board::kConfigRegister), 0xFF);
  boardPort.outbyte(3, 0x22);
  EXPECT_EQ(boardPort.inbyte(3), 0x22);
}

}  // namespace
}  // namespace omrix::sim
