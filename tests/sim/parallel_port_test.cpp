#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::SetupBoard;

TEST(ControlRegister, ReadsBackBitsZeroToFiveWithSixAndSevenSet) {
  const std::pair<uint8_t, uint8_t> rows[] = {
      {0x00, 0xC0}, {0x04, 0xC4}, {0x0B, 0xCB}, {0x3F, 0xFF},
      {0xA4, 0xE4}, {0x44, 0xC4}, {0x1B, 0xDB}, {0xFF, 0xFF},
  };
  for (const auto& [written, read] : rows) {
    SCOPED_TRACE(written);
    Simulator sim;
    sim.out(0x37A, written);
    EXPECT_EQ(sim.in(0x37A), read);
  }
}

TEST(DataRegister, DirectionBitTurnsTheLinesAroundOnlyOnABidirectionalPort) {
  struct Row {
    const char* name;
    std::optional<std::vector<uint16_t>> bidir;
    uint8_t control;
    uint8_t expected;  // data register after writing 0x5A
  };
  const Row rows[] = {
      {"bidirectional, output", std::nullopt, 0x04, 0x5A},
      {"bidirectional, input, nothing drives", std::nullopt, 0x24, 0xFF},
      {"bidirectional by list, input", std::vector<uint16_t>{0x378}, 0x24, 0xFF},
      {"unidirectional, output", std::vector<uint16_t>{}, 0x04, 0x5A},
      {"unidirectional, input requested", std::vector<uint16_t>{0x278}, 0x24, 0x5A},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.bidir = row.bidir;
    Simulator sim(config);
    sim.out(0x378, 0x5A);
    sim.out(0x37A, row.control);
    EXPECT_EQ(sim.in(0x378), row.expected);
    EXPECT_EQ(sim.in(0x37A), 0xC0 | row.control);
  }
}

TEST(DataRegister, UnidirectionalPortReadsItsLatchInAPs2Read) {
  SimConfig config;
  config.bidir = std::vector<uint16_t>{};
  Simulator sim = SetupBoard(config);
  sim.setBoardRegister(Board::kModeRegister, Board::kModePs2);
  sim.setBoardRegister(4, 0x3C);
  HostBus bus(sim, 0x378, HostBus::kPs2);
  EXPECT_EQ(bus.inbyte(4), 4);  // the address the PC last wrote, not the board's byte
}

TEST(StatusRegister, IdleLinesShowAckAndOnes) {
  struct Row {
    const char* name;
    std::optional<uint16_t> board;
    int ack;
    bool loadSetup;
    uint8_t expected;
  };
  const Row rows[] = {
      {"no board", std::nullopt, 0, false, 0xFF},
      {"unconfigured, ACK high", 0x378, 1, false, 0xFF},
      {"unconfigured, ACK low", 0x378, 0, false, 0xBF},
      {"setup design, ACK high", 0x378, 1, true, 0xFF},
      {"setup design, ACK low", 0x378, 0, true, 0xBF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.board = row.board;
    config.ack = row.ack;
    Simulator sim(config);
    if (row.loadSetup) sim.loadDesign(Design::Setup);
    EXPECT_EQ(sim.in(0x379), row.expected);
  }
}

TEST(StatusRegister, SetAckChangesTheLineAtOnce) {
  Simulator sim;
  sim.setAck(0);
  EXPECT_EQ(sim.in(0x379), 0xBF);
  sim.setAck(1);
  EXPECT_EQ(sim.in(0x379), 0xFF);
}

TEST(StatusRegister, WritesAreIgnored) {
  Simulator sim = SetupBoard();
  sim.out(0x379, 0x00);
  EXPECT_EQ(sim.in(0x379), 0xFF);
}

TEST(IoSpace, AddressesWithoutAPortReadFF) {
  SimConfig config;
  config.ports = {0x378, 0x278};
  Simulator sim(config);
  sim.out(0x378, 0x00);
  sim.out(0x278, 0x00);
  const uint16_t absent[] = {0x3BC, 0x3BE, 0x377, 0x37D, 0x37F, 0x27D, 0x0000, 0xFFFF};
  for (const uint16_t address : absent) {
    SCOPED_TRACE(address);
    sim.out(address, 0x00);
    EXPECT_EQ(sim.in(address), 0xFF);
  }
  EXPECT_EQ(sim.in(0x378), 0x00);
  EXPECT_EQ(sim.in(0x278), 0x00);
}

TEST(IoSpace, NoPortsAtAll) {
  SimConfig config;
  config.ports = {};
  Simulator sim = SetupBoard(config);
  EXPECT_EQ(sim.design(), Design::None);
  for (uint16_t offset = 0; offset < 5; ++offset) {
    sim.out(static_cast<uint16_t>(0x378 + offset), 0x00);
    EXPECT_EQ(sim.in(static_cast<uint16_t>(0x378 + offset)), 0xFF);
  }
}

TEST(IoSpace, PortAtTheTopOfTheAddressSpace) {
  SimConfig config;
  config.ports = {0xFFFD};
  config.board.reset();
  Simulator sim(config);
  sim.out(0xFFFD, 0x12);
  sim.out(0xFFFF, 0x14);
  EXPECT_EQ(sim.in(0xFFFD), 0x12);
  EXPECT_EQ(sim.in(0xFFFF), 0xD4);
  EXPECT_EQ(sim.accessCounts(0xFFFD).writes[2], 1u);
}

TEST(PortFeatures, EppPresence) {
  struct Row {
    const char* name;
    std::optional<std::vector<uint16_t>> epp;
    uint16_t base;
    bool hasEpp;
  };
  const Row rows[] = {
      {"default", std::nullopt, 0x378, true},
      {"default at 3BC", std::nullopt, 0x3BC, false},
      {"listed", std::vector<uint16_t>{0x278}, 0x278, true},
      {"not listed", std::vector<uint16_t>{0x278}, 0x378, false},
      {"empty list", std::vector<uint16_t>{}, 0x378, false},
      {"3BC listed", std::vector<uint16_t>{0x3BC, 0x378}, 0x3BC, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.ports = {0x378, 0x278, 0x3BC};
    config.board = row.base;
    config.epp = row.epp;
    Simulator sim = SetupBoard(config);
    sim.setBoardRegister(Board::kModeRegister, Board::kModeEpp);
    const uint16_t base = row.base;
    sim.out(static_cast<uint16_t>(base + 3), 5);
    sim.out(static_cast<uint16_t>(base + 4), 0x6D);
    EXPECT_EQ(sim.boardRegister(5), row.hasEpp ? 0x6D : 0x00);
    EXPECT_EQ(sim.in(static_cast<uint16_t>(base + 4)), row.hasEpp ? 0x6D : 0xFF);
    EXPECT_EQ(sim.in(static_cast<uint16_t>(base + 3)), row.hasEpp ? 5 : 0xFF);
  }
}

TEST(PortFeatures, Ps2ReadsNeedABidirectionalPort) {
  struct Row {
    const char* name;
    std::optional<std::vector<uint16_t>> bidir;
    uint8_t expected;
  };
  const Row rows[] = {
      {"default", std::nullopt, 0x6D},
      {"listed", std::vector<uint16_t>{0x278}, 0x6D},
      {"not listed", std::vector<uint16_t>{0x378}, 0x05},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.ports = {0x378, 0x278};
    config.board = 0x278;
    config.bidir = row.bidir;
    Simulator sim = SetupBoard(config);
    HostBus bus(sim, 0x278, HostBus::kPs2);
    bus.sendTransferMode();
    sim.setBoardRegister(5, 0x6D);
    EXPECT_EQ(bus.inbyte(5), row.expected);
  }
}

}  // namespace
}  // namespace omrix::sim
