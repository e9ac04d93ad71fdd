#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config_files.h"
#include "host_bus.h"
#include "parsed_config.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::Parsed;
using testing::ReverseEachByte;
using testing::SmallBitFile;

constexpr uint16_t kBase = 0x378;

TEST(StuckBus, ReadsOfTheBoardsPortStickAfterTheCountedAccesses) {
  struct Row {
    const char* text;
    uint64_t after;
    uint8_t value;
  };
  const Row rows[] = {
      {"stuck_after=0", 0, 0x00},
      {"stuck_after=7;stuck_value=5A", 7, 0x5A},
      {"stuck_value=0xff;stuck_after=12", 12, 0xFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    Simulator sim(Parsed(row.text));
    sim.loadDesign(Design::Setup);
    uint64_t accesses = 0;
    for (int i = 0; i < 10; ++i) {
      sim.out(kBase + 2, 0x04);
      ++accesses;
      const uint8_t control = sim.in(kBase + 2);
      ++accesses;
      EXPECT_EQ(control, accesses > row.after ? row.value : 0xC4) << "access " << accesses;
    }
    for (uint16_t offset = 0; offset < 5; ++offset) EXPECT_EQ(sim.in(kBase + offset), row.value);
  }
}

TEST(StuckBus, OtherPortsNeitherStickNorCount) {
  SimConfig config = Parsed("ports=378,278;stuck_after=2;stuck_value=33");
  Simulator sim(config);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sim.in(0x27A), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0x33);
  EXPECT_EQ(sim.in(0x27A), 0xC4);
}

TEST(StuckBus, SetAtRunTimeCountsFromThenAndCanBeEnded) {
  Simulator sim;
  sim.loadDesign(Design::Setup);
  HostBus bus(sim, kBase);
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x01);
  sim.setStuckBus(3, 0xA5);
  EXPECT_EQ(sim.in(kBase + 2), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0xC4);
  EXPECT_EQ(sim.in(kBase + 2), 0xA5);
  EXPECT_EQ(sim.in(kBase + 4), 0xA5);
  sim.setStuckBus(std::nullopt);
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x01);
}

TEST(BadBit, OneBitReadsInvertedWhereverTheArrayIsRead) {
  Simulator sim(Parsed("bad_bit=7FF90:4"));
  sim.loadDesign(Design::Setup);
  HostBus bus(sim, kBase);
  EXPECT_EQ(bus.flashReadCycle(0x7FF90), 0x01);
  EXPECT_EQ(bus.flashReadCycle(0x7FF91), 0x00);
  EXPECT_EQ(bus.flashReadCycle(0x7FF8F), 0xFF);
  EXPECT_EQ(sim.flash()[0x7FF90], 0x11) << "the cell itself is right";

  sim.setFlashBadBit(FlashBit{0x00100, 7});
  EXPECT_EQ(bus.flashReadCycle(0x7FF90), 0x11);
  EXPECT_EQ(bus.flashReadCycle(0x00100), 0x7F);
  sim.setFlashBadBit(std::nullopt);
  EXPECT_EQ(bus.flashReadCycle(0x00100), 0xFF);
}

TEST(BadBit, ABadBitInTheFpgaSlotSpoilsTheReload) {
  for (const bool bad : {false, true}) {
    SCOPED_TRACE(bad);
    Simulator sim(Parsed(bad ? "bad_bit=40001:0" : ""));
    const std::vector<uint8_t> file = ReverseEachByte(SmallBitFile(testing::kSetupFieldA));
    std::copy(file.begin(), file.end(), sim.flash().begin() + 0x40000);
    HostBus bus(sim, kBase);
    bus.configureViaFlash();
    EXPECT_EQ(sim.design(), bad ? Design::None : Design::Setup);
  }
}

TEST(StuckFlash, OperationsOnTheAddressOrItsSectorEndWithTheTimeLimit) {
  struct Row {
    const char* name;
    std::function<void(HostBus&)> start;
    uint64_t busyMs;
    bool fails;
    uint8_t stuckCell;  // 0x10005 afterwards
    uint8_t otherCell;  // 0x20000 afterwards
  };
  const Row rows[] = {
      {"program the address", [](HostBus& bus) { bus.flashProgram(0x10005, 0x5A); }, 1, true, 0xFF,
       0x00},
      {"program the next byte", [](HostBus& bus) { bus.flashProgram(0x10006, 0x5A); }, 1, false,
       0xFF, 0x00},
      {"erase its sector", [](HostBus& bus) { bus.flashSectorErase(0x10000); }, 1000, true, 0xFF,
       0x00},
      {"erase another sector", [](HostBus& bus) { bus.flashSectorErase(0x20000); }, 1000, false,
       0xFF, 0xFF},
      {"chip erase", [](HostBus& bus) { bus.flashChipErase(); }, 11'000, true, 0xFF, 0xFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config = Parsed("flash_stuck=10005;program_us=1000");
    Simulator sim(config);
    sim.loadDesign(Design::Setup);
    sim.flash()[0x10004] = 0x00;
    sim.flash()[0x20000] = 0x00;
    HostBus bus(sim, kBase);
    row.start(bus);
    sim.sleepMs(static_cast<uint32_t>(row.busyMs - 1));
    EXPECT_EQ(bus.flashReadCycle(0x10005) & 0x20, 0) << "DQ5 before the time is up";
    sim.sleepMs(1);
    if (row.fails) {
      // Still showing status (DQ6 toggling), now with DQ5.
      const uint8_t first = bus.flashReadCycle(0x10005);
      const uint8_t second = bus.flashReadCycle(0x10005);
      EXPECT_EQ(first & 0x20, 0x20);
      EXPECT_EQ(second & 0x20, 0x20);
      EXPECT_NE(first & 0x40, second & 0x40);
      bus.flashCycles({{0, 0xF0}});
    }
    EXPECT_EQ(sim.flash()[0x10005], row.stuckCell);
    EXPECT_EQ(sim.flash()[0x10004], 0x00) << "the stuck address's sector lost its content";
    EXPECT_EQ(sim.flash()[0x20000], row.otherCell);
    EXPECT_EQ(bus.flashReadCycle(0x10005), row.stuckCell);
  }
}

}  // namespace
}  // namespace omrix::sim
