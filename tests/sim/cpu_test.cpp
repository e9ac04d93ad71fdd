#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config_files.h"
#include "cpu_printing.h"
#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::ReverseEachByte;
using testing::SmallBitFile;

constexpr uint16_t kBase = 0x378;
constexpr CpuState kHeld{false, 0};

struct Mode {
  const char* name;
  uint8_t ppControl;
};

const Mode kModes[] = {{"Spp", HostBus::kSpp}, {"Ps2", HostBus::kPs2}, {"Epp", HostBus::kEpp}};

TEST(Cpu, ConfigRegisterWritesHoldReleaseAndSelectTheSlot) {
  struct Row {
    uint8_t config;
    CpuState cpu;
    bool starts;  // this write releases the CPU from reset
  };
  const Row rows[] = {
      {0x03, {false, 1}, false}, {0x02, {true, 1}, true},
      {0x82, {true, 1}, false},  // bit 7, the detection toggle, is not the CPU's
      {0xFA, {true, 1}, false},  // nor are bits 3-6
      {0x04, {true, 2}, false},  // the slot lines move without a reset
      {0x05, {false, 2}, false}, {0x05, {false, 2}, false},
      {0x04, {true, 2}, true},   {0x07, {false, 3}, false},
      {0xF6, {true, 3}, true},   {0x00, {true, 0}, false},
      {0xF9, {false, 0}, false}, {0x08, {true, 0}, true},
  };
  const Design designs[] = {Design::Setup, Design::Basic52};
  for (const Mode& mode : kModes) {
    for (const Design design : designs) {
      SCOPED_TRACE(std::string(mode.name) + (design == Design::Setup ? " setup" : " basic52"));
      Simulator sim;
      sim.loadDesign(design);
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      CpuRecord expected = sim.cpuRecord();
      for (const Row& row : rows) {
        SCOPED_TRACE(int{row.config});
        bus.outbyte(Board::kConfigRegister, row.config);
        if (row.starts) {
          ++expected.starts;
          // The strobe that ends the write is the last access.
          expected.recent.push_back(CpuStart{row.cpu.slot, sim.nowNs()});
        }
        EXPECT_EQ(sim.cpu(), row.cpu);
        EXPECT_EQ(sim.cpuRecord(), expected);
        EXPECT_EQ(bus.inbyte(Board::kConfigRegister), row.config)
            << "ConfigRegister keeps every bit";
      }
    }
  }
}

TEST(Cpu, ADesignStartsItFromItsConfigRegisterValue) {
  struct Row {
    Design design;
    CpuState cpu;
  };
  const Row rows[] = {
      {Design::None, kHeld},        {Design::Setup, kHeld},       {Design::Demo, {true, 0}},
      {Design::NoRegisters, kHeld}, {Design::Basic52, {true, 0}}, {Design::IoTestA, kHeld},
      {Design::EmuDlc5, kHeld},     {Design::IntDlc5, kHeld},     {Design::Foreign, kHeld},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.design));
    Simulator sim;
    sim.sleepMs(3);
    sim.loadDesign(row.design);
    EXPECT_EQ(sim.cpu(), row.cpu);
    CpuRecord expected;
    if (row.cpu.running) expected = CpuRecord{1, {CpuStart{0, sim.nowNs()}}};
    EXPECT_EQ(sim.cpuRecord(), expected);
  }
}

TEST(Cpu, IsHeldWheneverNoDesignWithConfigRegisterRuns) {
  struct Row {
    const char* name;
    std::function<void(Simulator&, HostBus&)> act;
  };
  const Row rows[] = {
      {"FPGA cleared", [](Simulator&, HostBus& bus) { bus.clearFpga(); }},
      {"design unloaded", [](Simulator& sim, HostBus&) { sim.loadDesign(Design::None); }},
      {"design without registers",
       [](Simulator&, HostBus& bus) { bus.configureViaPc(SmallBitFile("omrix_noreg.ncd")); }},
      {"foreign design",
       [](Simulator&, HostBus& bus) { bus.configureViaPc(SmallBitFile("x.ncd")); }},
      {"configuration cut short",
       [](Simulator&, HostBus& bus) {
         std::vector<uint8_t> file = SmallBitFile(testing::kSetupFieldA);
         file.resize(file.size() / 2);
         bus.configureViaPc(file);
       }},
      {"reload from an erased flash", [](Simulator&, HostBus& bus) { bus.configureViaFlash(); }},
  };
  for (const Mode& mode : kModes) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(mode.name) + ": " + row.name);
      Simulator sim;
      sim.loadDesign(Design::Basic52);
      HostBus bus(sim, kBase, mode.ppControl);
      bus.sendTransferMode();
      bus.outbyte(Board::kConfigRegister, 0x05);
      bus.outbyte(Board::kConfigRegister, 0x04);
      ASSERT_EQ(sim.cpu(), (CpuState{true, 2}));
      const CpuRecord before = sim.cpuRecord();
      row.act(sim, bus);
      EXPECT_EQ(sim.cpu(), kHeld);
      // Nothing is there to take a release.
      bus.outbyte(Board::kConfigRegister, 0x02);
      sim.setBoardRegister(Board::kConfigRegister, 0x02);
      EXPECT_EQ(sim.cpu(), kHeld);
      EXPECT_EQ(sim.cpuRecord(), before);
    }
  }
}

TEST(Cpu, TheTestApiMovesTheLinesLikeTheBus) {
  Simulator sim;
  sim.loadDesign(Design::Setup);
  sim.setBoardRegister(Board::kConfigRegister, 0x06);
  EXPECT_EQ(sim.cpu(), (CpuState{true, 3}));
  EXPECT_EQ(sim.cpuRecord(), (CpuRecord{1, {CpuStart{3, sim.nowNs()}}}));
}

TEST(Cpu, AReloadFromFlashStartsItWhenTheLoadEnds) {
  struct Row {
    const char* fieldA;
    CpuState cpu;  // once the load is over
  };
  const Row rows[] = {
      {"omrix_basic52.ncd;UserID=0xFFFFFFFF", {true, 0}},
      {"omrix_demo.ncd", {true, 0}},
      {"omrix_setup.ncd", kHeld},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fieldA);
    Simulator sim;
    const std::vector<uint8_t> file = ReverseEachByte(SmallBitFile(row.fieldA));
    std::copy(file.begin(), file.end(), sim.flash().begin() + Board::kFpgaSlotStart);
    sim.loadDesign(Design::Setup);
    HostBus bus(sim, kBase);
    bus.outbyte(Board::kConfigRegister, 0x02);
    const CpuRecord running = sim.cpuRecord();
    bus.setPortLines(1);
    const uint64_t loadEndsNs = sim.nowNs() + sim.config().fpgaReloadMs * 1'000'000;
    EXPECT_EQ(sim.cpu(), kHeld) << "while the FPGA loads";
    sim.sleepMs(sim.config().fpgaReloadMs - 1);
    EXPECT_EQ(sim.cpu(), kHeld) << "while the FPGA loads";
    sim.sleepMs(30);
    EXPECT_EQ(sim.cpu(), row.cpu);
    CpuRecord expected = running;
    if (row.cpu.running) {
      ++expected.starts;
      expected.recent.push_back(CpuStart{row.cpu.slot, loadEndsNs});
    }
    EXPECT_EQ(sim.cpuRecord(), expected);
  }
}

TEST(Cpu, TheRecordKeepsEveryCountButOnlyTheRecentStarts) {
  Simulator sim;
  sim.loadDesign(Design::Setup);
  HostBus bus(sim, kBase);
  const int pulses = static_cast<int>(Board::kRecentCpuStarts) + 3;
  std::vector<CpuStart> all;
  for (int i = 0; i < pulses; ++i) {
    const auto slotBits = static_cast<uint8_t>((i % 4) << 1);
    bus.outbyte(Board::kConfigRegister, static_cast<uint8_t>(slotBits | Board::kCpuReset));
    bus.outbyte(Board::kConfigRegister, slotBits);
    all.push_back(CpuStart{i % 4, sim.nowNs()});
  }
  const CpuRecord& record = sim.cpuRecord();
  EXPECT_EQ(record.starts, static_cast<uint64_t>(pulses));
  const std::vector<CpuStart> recent(
      all.end() - static_cast<std::ptrdiff_t>(Board::kRecentCpuStarts), all.end());
  EXPECT_EQ(record.recent, recent);
}

TEST(Cpu, WithoutAReachableBoardItIsHeld) {
  SimConfig config;
  config.board.reset();
  Simulator sim(config);
  sim.loadDesign(Design::Basic52);
  EXPECT_EQ(sim.cpu(), kHeld);
  EXPECT_EQ(sim.cpuRecord(), CpuRecord{});
}

}  // namespace
}  // namespace omrix::sim
