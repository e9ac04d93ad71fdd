#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_bus.h"
#include "parsed_config.h"
#include "omrix/sim/simulator.h"
#include "support/files.h"

namespace omrix::sim {
namespace {

using omrix::testing::TemporaryDirectory;
using testing::HostBus;
using testing::Parsed;

constexpr uint32_t kTypecodeField = 0x7FF90;

TEST(FactoryImage, TypecodeAndErasedShapeTheFlashOfANewBoard) {
  struct Row {
    const char* text;
    std::optional<std::array<uint8_t, 4>> typecode;  // nullopt = everything erased
  };
  const Row rows[] = {
      {"", std::array<uint8_t, 4>{0x11, 0x00, 0x00, 0x00}},
      {"typecode=0", std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x00}},
      {"typecode=305419896", std::array<uint8_t, 4>{0x78, 0x56, 0x34, 0x12}},
      {"typecode=4294967295", std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}},
      {"erased=0;typecode=18", std::array<uint8_t, 4>{0x12, 0x00, 0x00, 0x00}},
      {"erased=1", std::nullopt},
      {"erased=1;typecode=18", std::nullopt},
  };
  const std::vector<uint8_t> standard = FactoryFlashImage();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const SimConfig config = Parsed(row.text);
    Simulator sim(config);
    sim.loadDesign(Design::Setup);
    HostBus bus(sim, 0x378);
    std::vector<uint8_t> expected = standard;
    if (row.typecode) {
      for (uint32_t i = 0; i < 4; ++i) expected[kTypecodeField + i] = (*row.typecode)[i];
    } else {
      expected.assign(FlashChip::kSize, 0xFF);
    }
    EXPECT_TRUE(sim.flash() == expected);
    EXPECT_TRUE(FactoryFlashImage(config) == expected);
    for (uint32_t address : {kTypecodeField, kTypecodeField + 3, 0x7FFE0u, 0x7FF40u}) {
      EXPECT_EQ(bus.flashReadCycle(address), expected[address]) << std::hex << address;
    }
  }
}

TEST(FactoryImage, AnExistingStateFileKeepsItsOwnFlash) {
  for (const char* variant : {"typecode=99", "erased=1"}) {
    SCOPED_TRACE(variant);
    TemporaryDirectory dir;
    const std::string stateKey = ";state=" + dir.path();
    {
      Simulator old(Parsed(stateKey.substr(1)));
      ASSERT_TRUE(old.attach());
      old.flash()[0x100] = 0x42;
    }
    Simulator next(Parsed(variant + stateKey));
    ASSERT_TRUE(next.attach());
    EXPECT_EQ(next.flash()[kTypecodeField], 17);
    EXPECT_EQ(next.flash()[0x100], 0x42);
  }
}

struct Mode {
  const char* name;
  uint8_t ppControl;
};

const Mode kModes[] = {{"Spp", HostBus::kSpp}, {"Ps2", HostBus::kPs2}, {"Epp", HostBus::kEpp}};

TEST(BrokenPatterns, TheEchoAlwaysFailsWhileToggleAndFlashWork) {
  struct Row {
    const char* name;
    const char* text;
    std::optional<bool> setLater;  // changed through the test API after construction
    bool broken;
  };
  const Row rows[] = {
      {"ok", "", std::nullopt, false},
      {"patterns=ok", "patterns=ok", std::nullopt, false},
      {"patterns=broken", "patterns=broken", std::nullopt, true},
      {"broken at run time", "", true, true},
      {"mended at run time", "patterns=broken", false, false},
  };
  for (const Row& row : rows) {
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(std::string(row.name) + " " + mode.name);
      Simulator sim(Parsed(row.text));
      if (row.setLater) sim.setBrokenPatterns(*row.setLater);
      sim.loadDesign(Design::Setup);
      HostBus bus(sim, 0x378, mode.ppControl);
      bus.sendTransferMode();

      // ConfigRegister bit 7 toggles both ways.
      for (const uint8_t value : {uint8_t{0x81}, uint8_t{0x01}, uint8_t{0x80}, uint8_t{0x00}}) {
        bus.outbyte(Board::kConfigRegister, value);
        EXPECT_EQ(bus.inbyte(Board::kConfigRegister), value);
      }

      int echoed = 0;
      for (int value = 0; value < 256; ++value) {
        bus.outbyte(Board::kFlashData, static_cast<uint8_t>(value));
        if (bus.inbyte(Board::kFlashControl) == value) ++echoed;
        EXPECT_EQ(bus.inbyte(Board::kFlashData), value) << "FlashData itself holds the byte";
      }
      EXPECT_EQ(echoed, row.broken ? 0 : 256);

      EXPECT_EQ(bus.flashReadCycle(kTypecodeField), 0x11);
      EXPECT_EQ(bus.flashReadCycle(0x7FFE0), 'V');
      bus.flashProgram(0x00200, 0x3C);
      sim.sleepMs(1);
      EXPECT_EQ(bus.flashReadCycle(0x00200), 0x3C);
      EXPECT_EQ(sim.flash()[0x00200], 0x3C);
    }
  }
}

TEST(BrokenPatterns, TheRamWindowAtAddressTwoStillReadsRam) {
  Simulator sim(Parsed("patterns=broken"));
  sim.loadDesign(Design::Basic52);
  sim.ram()[0x1234] = 0x5A;
  HostBus bus(sim, 0x378);
  bus.outbyte(Board::kRamAddressLow, 0x34);
  bus.outbyte(Board::kRamAddressHigh, 0x12);
  EXPECT_EQ(bus.inbyte(Board::kRamData), 0x5A);
}

// The port layouts and boards a search for the board meets, from OMRIX_SIM text.
TEST(PortVariants, EachTransferModeWorksOnlyWhereThePortAndBoardAllowIt) {
  struct Row {
    const char* text;
    std::vector<uint16_t> probed;
    std::optional<uint16_t> boardAt;
    bool ps2;
    bool epp;
    int32_t sppSettle;  // BusyWait units a nibble read needs
    int32_t ps2Settle;  // and a PS2 read
  };
  const Row rows[] = {
      {"", {0x378}, 0x378, true, true, 0, 0},
      {"ports=3bc,378,278;board=278", {0x3BC, 0x378, 0x278}, 0x278, true, true, 0, 0},
      {"board=none", {0x378}, std::nullopt, false, false, 0, 0},
      {"ports=3bc,378,278;board=none", {0x3BC, 0x378, 0x278}, std::nullopt, false, false, 0, 0},
      {"bidir=", {0x378}, 0x378, false, true, 0, 0},
      {"epp=", {0x378}, 0x378, true, false, 0, 0},
      {"bidir=;epp=", {0x378}, 0x378, false, false, 0, 0},
      {"ports=3bc;board=3bc", {0x3BC}, 0x3BC, true, false, 0, 0},
      {"ports=3bc,378;board=3bc;epp=3bc,378", {0x3BC, 0x378}, 0x3BC, true, false, 0, 0},
      {"settle=40;settle_ps2=25", {0x378}, 0x378, true, true, 40, 25},
      {"ports=278;board=278;settle=7;settle_ps2=300", {0x278}, 0x278, true, true, 7, 300},
  };
  for (const Row& row : rows) {
    for (const uint16_t base : row.probed) {
      for (const Mode& mode : kModes) {
        SCOPED_TRACE(std::string(row.text) + " port " + std::to_string(base) + " " + mode.name);
        const bool board = row.boardAt == base;
        const bool works = board && (mode.ppControl == HostBus::kSpp ||
                                     (mode.ppControl == HostBus::kPs2 ? row.ps2 : row.epp));
        const int32_t settle = mode.ppControl == HostBus::kSpp   ? row.sppSettle
                               : mode.ppControl == HostBus::kPs2 ? row.ps2Settle
                                                                 : 0;
        Simulator sim(Parsed(row.text));
        sim.loadDesign(Design::Setup);
        HostBus bus(sim, base, mode.ppControl, settle);
        bus.sendTransferMode();
        bus.outbyte(Board::kFlashAddressMid, 0xA6);
        EXPECT_EQ(bus.inbyte(Board::kFlashAddressMid) == 0xA6, works);
        if (works && settle > 0) {
          bus.setWait(settle - 1);
          EXPECT_EQ(bus.inbyte(Board::kFlashAddressMid), 0x59)
              << "a short wait still gave the answer";
        }
      }
    }
  }
}

}  // namespace
}  // namespace omrix::sim
