#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config_files.h"
#include "host_bus.h"
#include "omrix/sim/designs.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::kDemoFieldA;
using testing::kSetupFieldA;
using testing::ReverseEachByte;
using testing::SmallBitFile;

constexpr uint16_t kBase = 0x378;
constexpr uint32_t kSlot = 0x40000;

struct Mode {
  const char* name;
  uint8_t ppControl;
};

const Mode kModes[] = {{"Spp", HostBus::kSpp}, {"Ps2", HostBus::kPs2}, {"Epp", HostBus::kEpp}};

void PutInFlash(Simulator& sim, uint32_t at, const std::vector<uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), sim.flash().begin() + at);
}

std::vector<uint8_t> Without(std::vector<uint8_t> bytes, std::size_t last) {
  bytes.resize(bytes.size() - last);
  return bytes;
}

std::vector<uint8_t> WithByte(std::vector<uint8_t> bytes, std::size_t at, uint8_t value) {
  bytes[at] = value;
  return bytes;
}

std::vector<uint8_t> WithoutSyncWord() {
  BitFile file;
  file.designName = kSetupFieldA;
  file.partName = "2s100pq208";
  file.date = "2005/01/01";
  file.time = "12:00:00";
  file.bitstream.assign(64, 0xFF);
  return MakeBitFile(file);
}

// What the PC sees of the loaded design: the ConfigRegister test bit and, with the setup
// design, the flash behind its window (the board typecode 17 at 0x7FF90).
void ExpectBusView(Simulator& sim, HostBus& bus, Design expected) {
  const DesignInfo* info = FindDesign(expected);
  if (!info || !info->modeAndConfig) {
    EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0xFF) << "a design without registers answered";
    bus.outbyte(Board::kConfigRegister, 0x5A);
    EXPECT_EQ(sim.boardRegister(Board::kConfigRegister), Board::kNoRegister);
    return;
  }
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), info->configAfterLoad);
  bus.outbyte(Board::kConfigRegister, 0x80);
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x80);
  if (info->flashWindow) {
    EXPECT_EQ(bus.flashReadCycle(0x7FF90), 0x11);
  }
}

struct LoadCase {
  const char* name;
  std::function<void(Simulator&, HostBus&)> run;
  Design expected;
};

const LoadCase kLoads[] = {
    {"setup via PC",
     [](Simulator&, HostBus& bus) { bus.configureViaPc(SmallBitFile(kSetupFieldA)); },
     Design::Setup},
    {"setup via flash",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kSetupFieldA)));
       bus.configureViaFlash();
     },
     Design::Setup},
    {"demo via flash after setup via PC",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kDemoFieldA)));
       bus.configureViaPc(SmallBitFile(kSetupFieldA));
       bus.configureViaFlash();
     },
     Design::Demo},
    {"flash slot holding the file unreversed",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, SmallBitFile(kSetupFieldA));
       bus.configureViaFlash();
     },
     Design::None},
    {"erased flash slot", [](Simulator&, HostBus& bus) { bus.configureViaFlash(); }, Design::None},
    {"file reaching past the slot end",
     [](Simulator& sim, HostBus& bus) {
       const std::vector<uint8_t> file = SmallBitFile(kSetupFieldA, 0x20000);
       ASSERT_GT(file.size(), Board::kFpgaSlotSize);
       PutInFlash(sim, kSlot, ReverseEachByte(file));
       bus.configureViaFlash();
     },
     Design::None},
    {"file filling the slot to its last byte",
     [](Simulator& sim, HostBus& bus) {
       const std::vector<uint8_t> small = SmallBitFile(kSetupFieldA);
       const std::vector<uint8_t> file =
           SmallBitFile(kSetupFieldA, Board::kFpgaSlotSize - small.size());
       ASSERT_EQ(file.size(), Board::kFpgaSlotSize);
       PutInFlash(sim, kSlot, ReverseEachByte(file));
       bus.configureViaFlash();
     },
     Design::Setup},
    {"truncated file via PC",
     [](Simulator&, HostBus& bus) { bus.configureViaPc(Without(SmallBitFile(kSetupFieldA), 4)); },
     Design::None},
    {"bad preamble via PC",
     [](Simulator&, HostBus& bus) {
       bus.configureViaPc(WithByte(SmallBitFile(kSetupFieldA), 1, 0x08));
     },
     Design::None},
    {"no sync word via PC", [](Simulator&, HostBus& bus) { bus.configureViaPc(WithoutSyncWord()); },
     Design::None},
    {"bits sent LSB first",
     [](Simulator&, HostBus& bus) {
       bus.configureViaPc(ReverseEachByte(SmallBitFile(kSetupFieldA)));
     },
     Design::None},
    {"no bits at all (file missing)", [](Simulator&, HostBus& bus) { bus.configureViaPc({}); },
     Design::None},
    {"a partial byte after the file",
     [](Simulator&, HostBus& bus) { bus.configureViaPc(SmallBitFile(kSetupFieldA), 5); },
     Design::Setup},
    {"a file one byte short, then seven bits",
     [](Simulator&, HostBus& bus) {
       bus.configureViaPc(Without(SmallBitFile(kSetupFieldA), 1), 7);
     },
     Design::None},
    {"unknown design name via PC",
     [](Simulator&, HostBus& bus) {
       bus.configureViaPc(SmallBitFile("someone_else.ncd;UserID=0xFFFFFFFF"));
     },
     Design::Foreign},
    {"unknown design name via flash",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile("someone_else.ncd")));
       bus.configureViaFlash();
     },
     Design::Foreign},
    {"clear", [](Simulator&, HostBus& bus) { bus.clearFpga(); }, Design::None},
    {"clear, then via PC while the flash holds another design",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kDemoFieldA)));
       bus.clearFpga();
       bus.configureViaPc(SmallBitFile(kSetupFieldA));
       sim.sleepMs(100);
     },
     Design::Setup},
    {"clear, then via flash",
     [](Simulator& sim, HostBus& bus) {
       PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kSetupFieldA)));
       bus.clearFpga();
       bus.configureViaFlash();
     },
     Design::Setup},
    {"configuration access without a PROGRAM pulse keeps the design",
     [](Simulator& sim, HostBus& bus) {
       bus.setPortLines(3);
       for (const uint8_t data : {uint8_t{0x03}, uint8_t{0x07}, uint8_t{0x02}, uint8_t{0x06}}) {
         sim.out(kBase, data);
       }
       bus.setPortLines(0);
       bus.sendTransferMode();
     },
     Design::Demo},
};

TEST(FpgaConfiguration, LibrarySequencesLoadWhatTheyCarry) {
  for (const Mode& mode : kModes) {
    for (const LoadCase& c : kLoads) {
      SCOPED_TRACE(std::string(mode.name) + ": " + c.name);
      Simulator sim;
      sim.loadDesign(Design::Demo);  // a running design the load must replace
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      c.run(sim, bus);
      EXPECT_EQ(sim.design(), c.expected);
      ExpectBusView(sim, bus, c.expected);
    }
  }
}

TEST(FpgaConfiguration, EveryKnownDesignImplementsWhatItsInfoSays) {
  for (const DesignInfo& info : KnownDesigns()) {
    SCOPED_TRACE(info.designName);
    Simulator sim;
    sim.ram()[0x1234] = 0x77;
    HostBus bus(sim, kBase);
    bus.configureViaPc(SmallBitFile(std::string(info.designName) + ";UserID=0xFFFFFFFF"));
    EXPECT_EQ(sim.design(), info.design);
    EXPECT_EQ(bus.inbyte(Board::kConfigRegister), info.modeAndConfig ? info.configAfterLoad : 0xFF);
    EXPECT_EQ(bus.inbyte(Board::kModeRegister), info.modeAndConfig ? 0 : 0xFF);
    bus.outbyte(Board::kFlashData, 0x3C);
    bus.outbyte(Board::kRamAddressLow, 0x34);
    bus.outbyte(Board::kRamAddressHigh, 0x12);
    uint8_t atTwo = 0xFF;
    if (info.modeAndConfig && info.ramWindow) {
      atTwo = 0x77;
    } else if (info.modeAndConfig && info.flashWindow) {
      atTwo = 0x3C;
    }
    EXPECT_EQ(bus.inbyte(2), atTwo);
    EXPECT_EQ(bus.inbyte(Board::kFlashData), info.modeAndConfig && info.flashWindow ? 0x3C : 0xFF);
  }
}

TEST(FpgaConfiguration, ReloadFromFlashTakesItsTime) {
  struct Row {
    uint32_t reloadMs;
    uint32_t stillLoadingAfterMs;
    uint32_t loadedAfterMoreMs;
  };
  const Row rows[] = {{20, 19, 1}, {50, 35, 15}, {1, 0, 1}, {0, 0, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reloadMs);
    SimConfig config;
    config.accessNs = 0;  // only the waits move the clock
    config.fpgaReloadMs = row.reloadMs;
    Simulator sim(config);
    PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kSetupFieldA)));
    HostBus bus(sim, kBase);
    bus.setPortLines(3);
    bus.outbyte(0, 1);
    bus.setPortLines(1);
    sim.sleepMs(row.stillLoadingAfterMs);
    if (row.reloadMs > 0) {
      EXPECT_EQ(sim.design(), Design::None);
      EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0xFF);
    }
    sim.sleepMs(row.loadedAfterMoreMs);
    EXPECT_EQ(sim.design(), Design::Setup);
  }
}

TEST(FpgaConfiguration, WhatHappensDuringAReload) {
  struct Row {
    const char* name;
    std::function<void(HostBus&)> during;  // 5 ms into the reload
    uint32_t thenMs;
    Design expected;
  };
  const Row rows[] = {
      {"nothing", [](HostBus&) {}, 14, Design::None},
      {"nothing, to the end", [](HostBus&) {}, 15, Design::Setup},
      {"PROGRAM held low", [](HostBus& bus) { bus.setPortLines(2); }, 200, Design::None},
      {"another PROGRAM pulse restarts it", [](HostBus& bus) { bus.setPortLines(1); }, 19,
       Design::None},
      {"another PROGRAM pulse, to its end", [](HostBus& bus) { bus.setPortLines(1); }, 20,
       Design::Setup},
      {"a load via PC", [](HostBus& bus) { bus.configureViaPc(SmallBitFile(kDemoFieldA)); }, 200,
       Design::Demo},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.accessNs = 0;
    Simulator sim(config);
    PutInFlash(sim, kSlot, ReverseEachByte(SmallBitFile(kSetupFieldA)));
    HostBus bus(sim, kBase);
    bus.setPortLines(1);
    sim.sleepMs(5);
    row.during(bus);
    sim.sleepMs(row.thenMs);
    EXPECT_EQ(sim.design(), row.expected);
  }
}

TEST(FpgaConfiguration, ProgramLowClearsRegistersAndTheNextDesignStartsFresh) {
  Simulator sim;
  HostBus bus(sim, kBase, HostBus::kPs2);
  bus.configureViaPc(SmallBitFile(kSetupFieldA));
  bus.outbyte(Board::kConfigRegister, 0x86);
  bus.outbyte(Board::kFlashAddressMid, 0x44);
  bus.setPortLines(2);
  for (uint8_t address = 0; address < 8; ++address) {
    EXPECT_EQ(sim.boardRegister(address), Board::kNoRegister) << int{address};
  }
  bus.setMode(HostBus::kSpp);
  bus.configureViaPc(SmallBitFile(kSetupFieldA));
  EXPECT_EQ(bus.inbyte(Board::kModeRegister), Board::kModeSpp);
  EXPECT_EQ(bus.inbyte(Board::kConfigRegister), 0x01);
  EXPECT_EQ(bus.inbyte(Board::kFlashAddressMid), 0x00);
}

TEST(RamWindow, ReadsTheCpuRamInEveryMode) {
  const uint16_t addresses[] = {0x0000, 0x0200, 0x0201, 0x02FF, 0x0300, 0x12FF, 0xFFFF};
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Simulator sim;
    for (std::size_t i = 0; i < sim.ram().size(); ++i)
      sim.ram()[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    sim.loadDesign(Design::Basic52);
    HostBus bus(sim, kBase, mode.ppControl);
    bus.sendTransferMode();
    uint16_t previous = static_cast<uint16_t>(~addresses[0]);
    for (const uint16_t address : addresses) {
      SCOPED_TRACE(address);
      // Only the address bytes that change are written, as the library does.
      if ((address & 0xFF) != (previous & 0xFF)) bus.outbyte(4, static_cast<uint8_t>(address));
      if ((address >> 8) != (previous >> 8)) bus.outbyte(5, static_cast<uint8_t>(address >> 8));
      EXPECT_EQ(bus.inbyte(2), sim.ram()[address]);
      previous = address;
    }
  }
}

TEST(RamWindow, RamOutlivesDesignsAndIsNotWrittenThroughTheWindow) {
  Simulator sim;
  sim.ram()[0x0200] = 0x0D;
  sim.ram()[0x0201] = 0x01;
  HostBus bus(sim, kBase);
  bus.configureViaPc(SmallBitFile("omrix_basic52.ncd;UserID=0xFFFFFFFF"));
  ASSERT_EQ(sim.design(), Design::Basic52);
  bus.outbyte(4, 0x00);
  bus.outbyte(5, 0x02);
  bus.outbyte(2, 0x55);
  bus.clearFpga();
  bus.configureViaPc(SmallBitFile(kSetupFieldA));
  bus.configureViaPc(SmallBitFile("omrix_basic52.ncd"));
  bus.outbyte(4, 0x00);
  bus.outbyte(5, 0x02);
  EXPECT_EQ(bus.inbyte(2), 0x0D);
  bus.outbyte(4, 0x01);
  EXPECT_EQ(bus.inbyte(2), 0x01);
}

}  // namespace
}  // namespace omrix::sim
