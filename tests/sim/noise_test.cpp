#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host_bus.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

using testing::HostBus;

constexpr uint16_t kBase = 0x378;
constexpr uint8_t kRegister = Board::kFlashAddressLow;

SimConfig Parsed(const std::string& text) {
  std::vector<std::string> errors;
  SimConfig config = ParseSimConfig(text, errors);
  EXPECT_TRUE(errors.empty()) << text;
  return config;
}

struct Mode {
  const char* name;
  uint8_t ppControl;
  int samplesPerByte;  // port reads that carry the board's answer
  int width;           // bits per sample
};

const Mode kModes[] = {
    {"Spp", HostBus::kSpp, 2, 4},
    {"Ps2", HostBus::kPs2, 1, 8},
    {"Epp", HostBus::kEpp, 1, 8},
};

// What came back wrong, sample by sample.
struct Tally {
  uint64_t samples = 0;
  uint64_t wrong = 0;
  uint64_t notOneBit = 0;             // wrong samples that differ in more than one bit
  std::array<uint64_t, 8> flipped{};  // wrong samples by the position of the flipped bit
};

// Reads `count` bytes over the bus, the register holding a different value each time.
Tally ReadMany(Simulator& sim, const Mode& mode, int count) {
  sim.loadDesign(Design::Setup);
  HostBus bus(sim, kBase, mode.ppControl);
  bus.sendTransferMode();
  Tally tally;
  for (int i = 0; i < count; ++i) {
    const auto value = static_cast<uint8_t>(i * 37 + 11);
    sim.setBoardRegister(kRegister, value);
    const auto difference = static_cast<uint8_t>(bus.inbyte(kRegister) ^ value);
    for (int sample = 0; sample < mode.samplesPerByte; ++sample) {
      const auto part =
          static_cast<uint8_t>((difference >> (sample * mode.width)) & ((1 << mode.width) - 1));
      ++tally.samples;
      if (part == 0) continue;
      ++tally.wrong;
      if ((part & (part - 1)) != 0) {
        ++tally.notOneBit;
        continue;
      }
      int position = 0;
      while ((part >> position) != 1) ++position;
      ++tally.flipped[position];
    }
  }
  return tally;
}

struct RateRow {
  const char* text;
  int reads;
  double lowest;  // fraction of wrong samples
  double highest;
};

TEST(Noise, WrongAnswersComeAtTheConfiguredRateWithOneBitFlipped) {
  const RateRow rows[] = {
      {"", 100'000, 0.0, 0.0},
      {"noise=0;seed=99", 100'000, 0.0, 0.0},
      {"noise=0.01", 100'000, 0.005, 0.015},
      {"noise=0.01;seed=12345", 100'000, 0.005, 0.015},
      {"noise=1", 2'000, 1.0, 1.0},
  };
  for (const RateRow& row : rows) {
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(std::string(row.text) + " " + mode.name);
      Simulator sim(Parsed(row.text));
      const Tally tally = ReadMany(sim, mode, row.reads);
      const double rate = static_cast<double>(tally.wrong) / static_cast<double>(tally.samples);
      EXPECT_GE(rate, row.lowest) << tally.wrong << " of " << tally.samples;
      EXPECT_LE(rate, row.highest) << tally.wrong << " of " << tally.samples;
      EXPECT_EQ(tally.notOneBit, 0u);
      if (row.lowest == 1.0) {
        // Every bit of the sample can be the one that goes wrong.
        for (int position = 0; position < mode.width; ++position) {
          EXPECT_GT(tally.flipped[position], 0u) << "bit " << position << " never flipped";
        }
      }
    }
  }
}

std::vector<uint8_t> Answers(Simulator& sim, const Mode& mode, int count) {
  sim.loadDesign(Design::Setup);
  HostBus bus(sim, kBase, mode.ppControl);
  bus.sendTransferMode();
  sim.setBoardRegister(kRegister, 0x5A);
  std::vector<uint8_t> answers;
  for (int i = 0; i < count; ++i) answers.push_back(bus.inbyte(kRegister));
  return answers;
}

TEST(Noise, TheSeedAloneDecidesTheSequence) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Simulator first(Parsed("noise=0.05;seed=7"));
    Simulator again(Parsed("noise=0.05;seed=7"));
    Simulator other(Parsed("noise=0.05;seed=8"));
    Simulator setLater;
    setLater.setNoise(0.05, 7);
    const std::vector<uint8_t> expected = Answers(first, mode, 5'000);
    EXPECT_NE(expected, std::vector<uint8_t>(expected.size(), 0x5A)) << "no noise at all";
    EXPECT_EQ(Answers(again, mode, 5'000), expected);
    EXPECT_EQ(Answers(setLater, mode, 5'000), expected);
    EXPECT_NE(Answers(other, mode, 5'000), expected);
  }
}

TEST(Noise, SettingItAtRunTimeStartsAndEndsIt) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Simulator sim;
    EXPECT_EQ(ReadMany(sim, mode, 200).wrong, 0u);
    sim.setNoise(1.0, 3);
    const Tally noisy = ReadMany(sim, mode, 200);
    EXPECT_EQ(noisy.wrong, noisy.samples);
    sim.setNoise(0.0);
    EXPECT_EQ(ReadMany(sim, mode, 200).wrong, 0u);
  }
}

// Only what the board drives for the PC to sample is disturbed: the lines it leaves
// alone, the PC's own latch and the writes it takes stay right.
TEST(Noise, OnlyTheBoardsAnswersAreDisturbed) {
  struct Row {
    const char* name;
    const char* text;
    uint16_t address;
    uint8_t expected;
    void (*prepare)(Simulator&);
  };
  const Row rows[] = {
      {"status, no read strobe", "noise=1", kBase + 1, 0xFF, [](Simulator&) {}},
      {"status, no board", "noise=1;board=none", kBase + 1, 0xFF, [](Simulator&) {}},
      {"data lines driven by the PC", "noise=1", kBase, 0x3C,
       [](Simulator& sim) { sim.out(kBase, 0x3C); }},
      {"data lines turned around, no read strobe", "noise=1", kBase, 0xFF,
       [](Simulator& sim) {
         sim.setBoardRegister(Board::kModeRegister, Board::kModePs2);
         sim.out(kBase + 2, 0x24);
       }},
      {"EPP data, board not in EPP", "noise=1", kBase + 4, 0xFF, [](Simulator&) {}},
      {"EPP address", "noise=1", kBase + 3, 0x05,
       [](Simulator& sim) {
         sim.setBoardRegister(Board::kModeRegister, Board::kModeEpp);
         sim.out(kBase + 3, 0x05);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim(Parsed(row.text));
    sim.loadDesign(Design::Setup);
    row.prepare(sim);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(sim.in(row.address), row.expected);
  }
}

TEST(Noise, WritesReachTheBoardUndisturbed) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Simulator sim(Parsed("noise=1"));
    sim.loadDesign(Design::Setup);
    HostBus bus(sim, kBase, mode.ppControl);
    bus.sendTransferMode();
    for (int value = 0; value < 256; ++value) {
      bus.outbyte(kRegister, static_cast<uint8_t>(value));
      ASSERT_EQ(sim.boardRegister(kRegister), value);
      ASSERT_NE(bus.inbyte(kRegister), value);
    }
  }
}

}  // namespace
}  // namespace omrix::sim
