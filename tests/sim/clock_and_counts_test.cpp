#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;
using testing::SetupBoard;

TEST(Clock, AdvancesByTheModelledCosts) {
  struct Row {
    const char* name;
    std::function<void(Simulator&)> action;
    uint64_t ns;  // with accessNs = 700
  };
  const Row rows[] = {
      {"read of a port", [](Simulator& s) { s.in(0x379); }, 700},
      {"write to a port", [](Simulator& s) { s.out(0x378, 1); }, 700},
      {"read where no port is", [](Simulator& s) { s.in(0x100); }, 700},
      {"write where no port is", [](Simulator& s) { s.out(0x100, 1); }, 700},
      {"busy wait", [](Simulator& s) { s.busyWait(40); }, 40 * Simulator::kBusyWaitUnitNs},
      {"busy wait of zero", [](Simulator& s) { s.busyWait(0); }, 0},
      {"negative busy wait", [](Simulator& s) { s.busyWait(-5); }, 0},
      {"sleep", [](Simulator& s) { s.sleepMs(3); }, 3'000'000},
      {"SPP write cycle", [](Simulator& s) { HostBus(s, 0x378).outbyte(1, 2); }, 6 * 700},
      {"SPP read cycle, wait 4",
       [](Simulator& s) { HostBus(s, 0x378, HostBus::kSpp, 4).inbyte(1); },
       10 * 700 + 2 * 4 * Simulator::kBusyWaitUnitNs},
      {"PS2 read cycle, wait 4",
       [](Simulator& s) { HostBus(s, 0x378, HostBus::kPs2, 4).inbyte(1); },
       7 * 700 + 4 * Simulator::kBusyWaitUnitNs},
      {"EPP read cycle", [](Simulator& s) { HostBus(s, 0x378, HostBus::kEpp).inbyte(1); }, 2 * 700},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.accessNs = 700;
    Simulator sim = SetupBoard(config);
    sim.sleepMs(2);
    const uint64_t start = sim.nowNs();
    row.action(sim);
    EXPECT_EQ(sim.nowNs() - start, row.ns);
  }
}

TEST(Clock, TickCountIsWholeMillisecondsAndWraps) {
  Simulator sim;
  EXPECT_EQ(sim.tickCount(), 0u);
  sim.busyWait(199'999);  // 999'995 ns
  EXPECT_EQ(sim.tickCount(), 0u);
  sim.busyWait(1);
  EXPECT_EQ(sim.tickCount(), 1u);
  sim.sleepMs(UINT32_MAX);
  EXPECT_EQ(sim.tickCount(), 0u);
  sim.sleepMs(5);
  EXPECT_EQ(sim.tickCount(), 5u);
  EXPECT_EQ(sim.nowNs(), (uint64_t{UINT32_MAX} + 6) * 1'000'000);
}

using Counts = std::array<uint64_t, 5>;

Counts Reads(const Simulator::AccessCounts& c) {
  return {c.reads[0], c.reads[1], c.reads[2], c.reads[3], c.reads[4]};
}
Counts Writes(const Simulator::AccessCounts& c) {
  return {c.writes[0], c.writes[1], c.writes[2], c.writes[3], c.writes[4]};
}

TEST(AccessCounts, CountEachCycleByRegisterAndDirection) {
  struct Row {
    const char* name;
    uint8_t mode;
    bool read;
    Counts reads;
    Counts writes;
  };
  const Row rows[] = {
      {"SPP write", HostBus::kSpp, false, {0, 0, 0, 0, 0}, {2, 0, 4, 0, 0}},
      {"SPP read", HostBus::kSpp, true, {0, 2, 0, 0, 0}, {3, 0, 5, 0, 0}},
      {"PS2 write", HostBus::kPs2, false, {0, 0, 0, 0, 0}, {2, 0, 4, 0, 0}},
      {"PS2 read", HostBus::kPs2, true, {1, 0, 0, 0, 0}, {1, 0, 5, 0, 0}},
      {"EPP write", HostBus::kEpp, false, {0, 0, 0, 0, 0}, {0, 0, 0, 1, 1}},
      {"EPP read", HostBus::kEpp, true, {0, 0, 0, 0, 1}, {0, 0, 0, 1, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim = SetupBoard();
    HostBus bus(sim, 0x378, row.mode);
    if (row.read) {
      bus.inbyte(3);
    } else {
      bus.outbyte(3, 0x42);
    }
    const Simulator::AccessCounts counts = sim.accessCounts(0x378);
    EXPECT_EQ(Reads(counts), row.reads);
    EXPECT_EQ(Writes(counts), row.writes);
    EXPECT_EQ(counts.otherReads + counts.otherWrites, 0u);
  }
}

TEST(AccessCounts, PerPortSummedAndUnoccupied) {
  SimConfig config;
  config.ports = {0x378, 0x278};
  Simulator sim(config);
  sim.out(0x378, 1);
  sim.in(0x379);
  sim.in(0x379);
  sim.out(0x27A, 4);
  sim.in(0x27C);
  sim.in(0x3BC);      // no port there
  sim.out(0x37D, 0);  // past the last register of 0x378

  const auto first = sim.accessCounts(0x378);
  EXPECT_EQ(Reads(first), (Counts{0, 2, 0, 0, 0}));
  EXPECT_EQ(Writes(first), (Counts{1, 0, 0, 0, 0}));
  EXPECT_EQ(first.total(), 3u);

  const auto second = sim.accessCounts(0x278);
  EXPECT_EQ(Reads(second), (Counts{0, 0, 0, 0, 1}));
  EXPECT_EQ(Writes(second), (Counts{0, 0, 1, 0, 0}));

  const auto all = sim.accessCounts();
  EXPECT_EQ(Reads(all), (Counts{0, 2, 0, 0, 1}));
  EXPECT_EQ(Writes(all), (Counts{1, 0, 1, 0, 0}));
  EXPECT_EQ(all.otherReads, 1u);
  EXPECT_EQ(all.otherWrites, 1u);
  EXPECT_EQ(all.total(), 7u);

  EXPECT_EQ(sim.accessCounts(0x3BC).total(), 0u);

  sim.resetAccessCounts();
  EXPECT_EQ(sim.accessCounts().total(), 0u);
  sim.in(0x378);
  EXPECT_EQ(sim.accessCounts().total(), 1u);
}

}  // namespace
}  // namespace omrix::sim
