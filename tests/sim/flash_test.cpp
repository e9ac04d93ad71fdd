#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;

constexpr uint16_t kBase = 0x378;
constexpr uint8_t kDq7 = 0x80;
constexpr uint8_t kDq6 = 0x40;
constexpr uint8_t kDq5 = 0x20;

struct Mode {
  const char* name;
  uint8_t ppControl;
};

const Mode kModes[] = {{"Spp", HostBus::kSpp}, {"Ps2", HostBus::kPs2}, {"Epp", HostBus::kEpp}};

// The setup design running, and a clock that only waits move, so busy times are exact.
Simulator FlashBoard(SimConfig config = {}) {
  config.accessNs = 0;
  Simulator sim(std::move(config));
  sim.loadDesign(Design::Setup);
  return sim;
}

void WaitNs(Simulator& sim, uint64_t ns) {
  sim.sleepMs(static_cast<uint32_t>(ns / 1'000'000));
  sim.busyWait(static_cast<int32_t>(ns % 1'000'000 / Simulator::kBusyWaitUnitNs));
}

void Fill(Simulator& sim, uint8_t value) {
  std::fill(sim.flash().begin(), sim.flash().end(), value);
}

// Completion polling as the library does it; the statuses read on the way.
std::vector<uint8_t> Poll(HostBus& bus, uint32_t address, uint8_t expected, std::size_t limit) {
  std::vector<uint8_t> statuses;
  bus.flashAddress(address);
  bus.beginFlashReads();
  while (statuses.size() < limit) {
    const uint8_t status = bus.inbyte(Board::kFlashData);
    statuses.push_back(status);
    if ((status & kDq7) == (expected & kDq7)) break;
    if ((status & kDq5) != 0) {
      statuses.push_back(bus.inbyte(Board::kFlashData));
      break;
    }
  }
  bus.endFlashReads();
  return statuses;
}

TEST(Flash, EraseAndProgramThroughTheWindowInEveryMode) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    SimConfig config;
    config.sectorEraseMs = 5;
    Simulator sim(config);  // real access costs: the polls run while the chip works
    sim.loadDesign(Design::Setup);
    Fill(sim, 0x00);
    HostBus bus(sim, kBase, mode.ppControl);
    bus.sendTransferMode();
    bus.flashReset();
    bus.flashSectorErase(0x10000);
    const std::vector<uint8_t> erasing = Poll(bus, 0x10000, 0xFF, 100'000);
    ASSERT_GT(erasing.size(), 2u);
    EXPECT_EQ(erasing.back(), 0xFF);
    EXPECT_EQ(erasing[0] & kDq7, 0);
    EXPECT_NE(erasing[0] & kDq6, erasing[1] & kDq6);
    bus.flashProgram(0x10005, 0x5A);
    EXPECT_EQ(Poll(bus, 0x10005, 0x5A, 1000).back(), 0x5A);
    EXPECT_EQ(bus.flashReadCycle(0x10005), 0x5A);
    EXPECT_EQ(bus.flashReadCycle(0x0FFFF), 0x00);
    EXPECT_EQ(sim.flash()[0x10005], 0x5A);
    EXPECT_EQ(sim.flash()[0x10004], 0xFF);
  }
}

TEST(Flash, ProgrammingOnlyClearsBits) {
  struct Row {
    uint8_t old;
    uint8_t data;
    uint8_t cell;  // afterwards
    bool fails;    // ends with DQ5
  };
  const Row rows[] = {
      {0xFF, 0x5A, 0x5A, false}, {0x5A, 0x5A, 0x5A, false}, {0x5A, 0x10, 0x10, false},
      {0xFF, 0x00, 0x00, false}, {0xF0, 0x3C, 0x30, true},  {0x00, 0x80, 0x00, true},
      {0x7F, 0x80, 0x00, true},  {0x00, 0xFF, 0x00, true},  {0xFE, 0x01, 0x00, true},
  };
  constexpr uint32_t kAddress = 0x23456;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.old) + " programmed with " + std::to_string(row.data));
    Simulator sim = FlashBoard();
    sim.flash()[kAddress] = row.old;
    HostBus bus(sim, kBase);
    bus.flashProgram(kAddress, row.data);
    sim.sleepMs(1);
    const uint8_t first = bus.flashReadCycle(kAddress);
    const uint8_t second = bus.flashReadCycle(kAddress);
    EXPECT_EQ(sim.flash()[kAddress], row.cell);
    if (row.fails) {
      // Still showing status: DATA# of the wanted byte, DQ5, DQ6 toggling.
      EXPECT_EQ(first & (kDq7 | kDq5), (~row.data & kDq7) | kDq5);
      EXPECT_EQ(second & (kDq7 | kDq5), (~row.data & kDq7) | kDq5);
      EXPECT_NE(first & kDq6, second & kDq6);
      bus.flashCycles({{0, 0xF0}});
      EXPECT_EQ(bus.flashReadCycle(kAddress), row.cell);
    } else {
      EXPECT_EQ(first, row.cell);
      EXPECT_EQ(second, row.cell);
    }
  }
}

TEST(Flash, AfterATimeLimitOnlyAResetIsHeard) {
  struct Row {
    const char* name;
    std::function<void(HostBus&)> reset;
  };
  const Row rows[] = {
      {"reset command alone",
       [](HostBus& bus) {
         bus.flashCycles({{0x12345, 0xF0}});
       }},
      {"reset command with unlock cycles",
       [](HostBus& bus) {
         bus.flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xF0}});
       }},
      {"reset line",
       [](HostBus& bus) {
         bus.flashControl({0x08, 0x00});
       }},
      {"the library's flash reset", [](HostBus& bus) { bus.flashReset(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim = FlashBoard();
    sim.flash()[0x30000] = 0x00;
    HostBus bus(sim, kBase);
    bus.flashProgram(0x30000, 0x01);
    sim.sleepMs(1);
    bus.flashProgram(0x30001, 0x12);
    bus.flashSectorErase(0x30000);
    bus.flashChipErase();
    sim.sleepMs(12'000);
    EXPECT_EQ(sim.flash()[0x30001], 0xFF) << "a program was taken";
    EXPECT_EQ(sim.flash()[0x30000], 0x00) << "an erase was taken";
    EXPECT_NE(bus.flashReadCycle(0x30001) & kDq5, 0);
    row.reset(bus);
    EXPECT_EQ(bus.flashReadCycle(0x30000), 0x00);
    bus.flashProgram(0x30001, 0x12);
    sim.sleepMs(1);
    EXPECT_EQ(bus.flashReadCycle(0x30001), 0x12);
  }
}

TEST(Flash, StatusWhileBusyInEveryMode) {
  struct Row {
    const char* name;
    std::function<void(HostBus&)> start;
    uint8_t dq7;
  };
  const Row rows[] = {
      {"sector erase", [](HostBus& bus) { bus.flashSectorErase(0x7C000); }, 0x00},
      {"chip erase", [](HostBus& bus) { bus.flashChipErase(); }, 0x00},
      {"program 0x80", [](HostBus& bus) { bus.flashProgram(0x100, 0x80); }, 0x00},
      {"program 0x7F", [](HostBus& bus) { bus.flashProgram(0x100, 0x7F); }, 0x80},
  };
  for (const Mode& mode : kModes) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(mode.name) + " " + row.name);
      SimConfig config;
      config.programUs = 1000;
      Simulator sim = FlashBoard(config);
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      row.start(bus);
      bus.flashAddress(0x100);
      bus.beginFlashReads();
      uint8_t previous = bus.inbyte(Board::kFlashData);
      for (int i = 0; i < 5; ++i) {
        const uint8_t status = bus.inbyte(Board::kFlashData);
        EXPECT_EQ(status & kDq7, row.dq7);
        EXPECT_EQ(status & kDq5, 0);
        EXPECT_NE(status & kDq6, previous & kDq6) << "DQ6 did not toggle on read " << i;
        previous = status;
      }
      bus.endFlashReads();
    }
  }
}

TEST(Flash, BusyTimesInSimulatedTime) {
  struct Row {
    const char* name;
    std::function<void(SimConfig&)> configure;
    std::function<void(HostBus&)> start;
    uint64_t busyNs;
    uint8_t result;  // read at 0x7C010 afterwards
  };
  const auto program = [](HostBus& bus) { bus.flashProgram(0x7C010, 0x42); };
  const auto sectorErase = [](HostBus& bus) { bus.flashSectorErase(0x7C000); };
  const auto chipErase = [](HostBus& bus) { bus.flashChipErase(); };
  const auto defaults = [](SimConfig&) {};
  const Row rows[] = {
      {"byte program", defaults, program, 7'000, 0x42},
      {"byte program, 50 us", [](SimConfig& c) { c.programUs = 50; }, program, 50'000, 0x42},
      {"byte program, 0 us", [](SimConfig& c) { c.programUs = 0; }, program, 0, 0x42},
      {"sector erase", defaults, sectorErase, 1'000'000'000, 0xFF},
      {"sector erase, 3 ms", [](SimConfig& c) { c.sectorEraseMs = 3; }, sectorErase, 3'000'000,
       0xFF},
      {"chip erase", defaults, chipErase, 11'000'000'000, 0xFF},
      {"chip erase, 7 ms", [](SimConfig& c) { c.chipEraseMs = 7; }, chipErase, 7'000'000, 0xFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    row.configure(config);
    Simulator sim = FlashBoard(config);
    sim.flash()[0x7C010] = 0x00;
    if (row.result == 0x42) sim.flash()[0x7C010] = 0xFF;
    HostBus bus(sim, kBase);
    row.start(bus);
    if (row.busyNs > 0) {
      WaitNs(sim, row.busyNs - Simulator::kBusyWaitUnitNs);
      const uint8_t a = bus.flashReadCycle(0x7C010);
      const uint8_t b = bus.flashReadCycle(0x7C010);
      EXPECT_NE(a & kDq6, b & kDq6) << "not busy just before the time is up";
      EXPECT_EQ(a & kDq5, 0);
      sim.busyWait(1);
    }
    EXPECT_EQ(bus.flashReadCycle(0x7C010), row.result);
    EXPECT_EQ(bus.flashReadCycle(0x7C010), row.result);
  }
}

TEST(Flash, SectorEraseClearsExactlyItsSector) {
  struct Row {
    uint32_t address;  // given with the erase command
    uint32_t start;
    uint32_t size;
  };
  const Row rows[] = {
      {0x00000, 0x00000, 0x10000}, {0x10000, 0x10000, 0x10000}, {0x5FFFF, 0x50000, 0x10000},
      {0x60000, 0x60000, 0x10000}, {0x70000, 0x70000, 0x8000},  {0x77FFF, 0x70000, 0x8000},
      {0x78000, 0x78000, 0x2000},  {0x7A000, 0x7A000, 0x2000},  {0x7A123, 0x7A000, 0x2000},
      {0x7C000, 0x7C000, 0x4000},  {0x7FFFF, 0x7C000, 0x4000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    Simulator sim = FlashBoard();
    Fill(sim, 0x00);
    HostBus bus(sim, kBase);
    bus.flashSectorErase(row.address);
    sim.sleepMs(1000);
    std::vector<uint8_t> expected(sim.flash().size(), 0x00);
    std::fill_n(expected.begin() + row.start, row.size, 0xFF);
    EXPECT_TRUE(sim.flash() == expected);
    EXPECT_EQ(bus.flashReadCycle(row.start), 0xFF);
    EXPECT_EQ(bus.flashReadCycle(row.start + row.size - 1), 0xFF);
  }
}

TEST(Flash, ChipEraseClearsEverythingTheIdentifierToo) {
  Simulator sim = FlashBoard();
  Fill(sim, 0x00);
  sim.flash()[0x7FF90] = 0x11;
  HostBus bus(sim, kBase);
  bus.flashChipErase();
  sim.sleepMs(11'000);
  EXPECT_TRUE(
      std::all_of(sim.flash().begin(), sim.flash().end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(bus.flashReadCycle(0x7FF90), 0xFF);
}

TEST(Flash, AutoselectShowsTheChipIdUntilAReset) {
  struct Row {
    const char* name;
    std::vector<std::pair<uint32_t, uint8_t>> exit;
  };
  const Row rows[] = {
      {"reset command alone", {{0, 0xF0}}},
      {"reset command with unlock cycles", {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xF0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim = FlashBoard();
    sim.flash()[0] = 0x3C;
    sim.flash()[1] = 0xC3;
    HostBus bus(sim, kBase);
    bus.flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x90}});
    EXPECT_EQ(bus.flashReadCycle(0), 0x01);
    EXPECT_EQ(bus.flashReadCycle(1), 0xB9);
    EXPECT_EQ(bus.flashReadCycle(0), 0x01);
    for (const auto& [address, data] : row.exit) bus.flashWriteCycle(address, data);
    EXPECT_EQ(bus.flashReadCycle(0), 0x3C);
    EXPECT_EQ(bus.flashReadCycle(1), 0xC3);
  }
}

TEST(Flash, CommandSequences) {
  using Cycles = std::vector<std::pair<uint32_t, uint8_t>>;
  struct Row {
    const char* name;
    uint8_t before;  // at 0x100
    Cycles cycles;
    uint8_t after;
  };
  const Row rows[] = {
      {"program", 0x0F, {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}, {0x100, 0x05}}, 0x05},
      {"program command at 0x555",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0x555, 0xA0}, {0x100, 0x05}},
       0x0F},
      {"first unlock at 0xAAB",
       0x0F,
       {{0xAAB, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}, {0x100, 0x05}},
       0x0F},
      {"second unlock with 0x54",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x54}, {0xAAA, 0xA0}, {0x100, 0x05}},
       0x0F},
      {"reset in the second unlock position",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0xF0}, {0x555, 0x55}, {0xAAA, 0xA0}, {0x100, 0x05}},
       0x0F},
      {"reset before the command",
       0x0F,
       {{0x000, 0xF0}, {0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}, {0x100, 0x05}},
       0x05},
      {"unknown command", 0x0F, {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xB0}, {0x100, 0x05}}, 0x0F},
      {"0xF0 as program data",
       0xFF,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}, {0x100, 0xF0}},
       0xF0},
      {"address lines above the chip are not connected",
       0x0F,
       {{0x80AAA, 0xAA}, {0xF80555, 0x55}, {0x80AAA, 0xA0}, {0x180100, 0x05}},
       0x05},
      {"sector erase",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xAA}, {0x555, 0x55}, {0x100, 0x30}},
       0xFF},
      {"sector erase of another sector",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xAA}, {0x555, 0x55}, {0x10000, 0x30}},
       0x0F},
      {"erase with a reset inside",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xF0}, {0x555, 0x55}, {0x100, 0x30}},
       0x0F},
      {"erase with the fourth cycle at 0x554",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xAA}, {0x554, 0x55}, {0x100, 0x30}},
       0x0F},
      {"chip erase confirm away from 0xAAA",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xAA}, {0x555, 0x55}, {0x100, 0x10}},
       0x0F},
      {"erase confirm without the second unlock",
       0x0F,
       {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0x100, 0x30}},
       0x0F},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim = FlashBoard();
    sim.flash()[0x100] = row.before;
    sim.flash()[0x10000] = 0x0F;
    HostBus bus(sim, kBase);
    for (const auto& [address, data] : row.cycles) bus.flashWriteCycle(address, data);
    sim.sleepMs(1000);
    EXPECT_EQ(sim.flash()[0x100], row.after);
    // Whatever happened, the chip reads its array again.
    EXPECT_EQ(bus.flashReadCycle(0x100), row.after);
    EXPECT_EQ(bus.flashReadCycle(0x101), 0xFF);
  }
}

TEST(Flash, WriteCycleIsTakenWhenTheWriteStrobeIsReleased) {
  Simulator sim = FlashBoard();
  HostBus bus(sim, kBase);
  bus.flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}});
  bus.flashAddress(0x200);
  bus.outbyte(Board::kFlashData, 0x11);
  bus.flashControl({0x01, 0x05});
  // Address and data still change while the strobe is held; the release takes them.
  bus.flashAddress(0x201);
  bus.outbyte(Board::kFlashData, 0x22);
  bus.flashControl({0x01, 0x00});
  sim.sleepMs(1);
  EXPECT_EQ(sim.flash()[0x200], 0xFF);
  EXPECT_EQ(sim.flash()[0x201], 0x22);
}

TEST(Flash, WriteStrobeWithoutChipSelectOrWithOutputEnableIsNoCycle) {
  const std::vector<std::vector<uint8_t>> strobes = {{0x04, 0x00}, {0x07, 0x01, 0x00}};
  for (const auto& strobe : strobes) {
    SCOPED_TRACE(int{strobe[0]});
    Simulator sim = FlashBoard();
    HostBus bus(sim, kBase);
    bus.flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}});
    bus.flashAddress(0x300);
    bus.outbyte(Board::kFlashData, 0x33);
    for (const uint8_t control : strobe) bus.outbyte(Board::kFlashControl, control);
    bus.flashWriteCycle(0x300, 0x44);  // still the program's data cycle
    sim.sleepMs(1);
    EXPECT_EQ(sim.flash()[0x300], 0x44);
  }
}

TEST(Flash, FlashDataReadsTheChipOnlyWhileSelectedAndOutputEnabled) {
  struct Row {
    uint8_t control;
    uint8_t read;  // at 0x7FF90, which holds 0x11; 0xA7 was last written to FlashData
  };
  const Row rows[] = {{0x00, 0xA7}, {0x01, 0xA7}, {0x02, 0xA7}, {0x03, 0x11}, {0x0B, 0xFF}};
  for (const Mode& mode : kModes) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(mode.name) + " control " + std::to_string(row.control));
      Simulator sim = FlashBoard();
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      bus.flashAddress(0x7FF90);
      bus.outbyte(Board::kFlashData, 0xA7);
      bus.outbyte(Board::kFlashControl, row.control);
      EXPECT_EQ(bus.inbyte(Board::kFlashData), row.read);
      EXPECT_EQ(bus.inbyte(Board::kFlashControl), 0xA7);  // address 2 echoes 3 regardless
    }
  }
}

TEST(Flash, ReadModeFollowsTheAddressRegistersBetweenReads) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Simulator sim = FlashBoard();
    sim.flash()[0x01234] = 0x5C;
    HostBus bus(sim, kBase, mode.ppControl);
    bus.sendTransferMode();
    bus.beginFlashReads();
    std::string text;
    uint32_t previous = ~0x7FFE0u;
    for (uint32_t address = 0x7FFE0; address < 0x7FFE8; ++address) {
      text += static_cast<char>(bus.flashReadNext(address, previous));
      previous = address;
    }
    EXPECT_EQ(text, "Varnotek");
    // Jumps that change one, two and three address bytes.
    EXPECT_EQ(bus.flashReadNext(0x7FFC0, previous), 'o');
    EXPECT_EQ(bus.flashReadNext(0x7C000, 0x7FFC0), 0xFF);
    EXPECT_EQ(bus.flashReadNext(0x7FF90, 0x7C000), 0x11);
    EXPECT_EQ(bus.flashReadNext(0x01234, 0x7FF90), 0x5C);
    bus.endFlashReads();
  }
}

TEST(Flash, ResetLineFloatsTheOutputsAndAbortsAnErase) {
  Simulator sim = FlashBoard();
  Fill(sim, 0x00);
  HostBus bus(sim, kBase);
  bus.flashSectorErase(0x20000);
  sim.sleepMs(500);
  bus.flashAddress(0x20000);
  bus.flashControl({0x0B});
  EXPECT_EQ(bus.inbyte(Board::kFlashData), 0xFF);  // nobody drives the lines
  bus.flashControl({0x00});
  sim.sleepMs(2000);
  EXPECT_EQ(bus.flashReadCycle(0x20000), 0x00);
  EXPECT_EQ(sim.flash()[0x2FFFF], 0x00);
}

TEST(Flash, ANewDesignStartsWithTheResetLineReleased) {
  Simulator sim = FlashBoard();
  sim.flash()[0x400] = 0x77;
  HostBus bus(sim, kBase);
  bus.flashControl({0x08});
  sim.loadDesign(Design::Setup);
  EXPECT_EQ(bus.flashReadCycle(0x400), 0x77);
}

TEST(Flash, FactoryIdentifierBlock) {
  struct Field {
    uint32_t address;
    std::vector<uint8_t> bytes;  // the rest of the field is erased
  };
  const auto text = [](const std::string& s) {
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
  };
  const Field fields[] = {
      {0x7FFE0, text("Varnotek")},         {0x7FFC0, text("omrix")},
      {0x7FFA0, text("QA bench 2")},       {0x7FF90, {0x11, 0x00, 0x00, 0x00}},
      {0x7FF80, {0x03, 0x00, 0x00, 0x00}}, {0x7FF70, {0x67, 0x12, 0x00, 0x00}},  // 4711
      {0x7FF60, {0x00, 0xE8, 0xD5, 0x41}},                                       // 1104537600
      {0x7FF40, text("XC2S100")},
  };
  std::vector<uint8_t> expected(0x80000, 0xFF);
  for (const Field& field : fields)
    std::copy(field.bytes.begin(), field.bytes.end(), expected.begin() + field.address);
  Simulator sim = FlashBoard();
  EXPECT_TRUE(sim.flash() == expected);
  HostBus bus(sim, kBase);
  bus.beginFlashReads();
  uint32_t previous = ~0x7FF40u;
  for (uint32_t address = 0x7FF40; address < 0x80000; ++address) {
    ASSERT_EQ(bus.flashReadNext(address, previous), expected[address]) << std::hex << address;
    previous = address;
  }
  bus.endFlashReads();
}

}  // namespace
}  // namespace omrix::sim
