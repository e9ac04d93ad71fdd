#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host_bus.h"
#include "omrix/sim/simulator.h"
#include "support/files.h"

namespace omrix::sim {
namespace {

namespace fs = std::filesystem;
using omrix::testing::TemporaryDirectory;
using omrix::testing::WriteBytes;
using testing::HostBus;

constexpr uint16_t kBase = 0x378;
constexpr std::size_t kRoom = Board::kRamSize - Board::kRamProgramStart;

// 10 PRINT "HI" / 20 END as BASIC-52 keeps it: length, line number, tokens, CR; 01 ends it.
const std::vector<uint8_t> kHiProgram = {0x09, 0x00, 0x0A, 0x89, 0x22, 0x48, 0x49, 0x22,
                                         0x0D, 0x05, 0x00, 0x14, 0xA3, 0x0D, 0x01};

std::vector<uint8_t> Pattern(std::size_t size) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + (i >> 8) + 1);
  return bytes;
}

SimConfig WithRamFile(const fs::path& path, const fs::path& stateDir = {}) {
  SimConfig config;
  config.ramFile = path.string();
  config.stateDir = stateDir.string();
  return config;
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(RamFile, IsLoadedAtTheProgramStartOrReportedOnce) {
  struct Row {
    const char* name;
    std::optional<std::vector<uint8_t>> bytes;  // nullopt: the path is a directory
    bool loads;
  };
  const Row rows[] = {
      {"a BASIC program", kHiProgram, true},
      {"one byte", std::vector<uint8_t>{0xA5}, true},
      {"empty", std::vector<uint8_t>{}, true},
      {"filling the RAM to its end", Pattern(kRoom), true},
      {"one byte too large", Pattern(kRoom + 1), false},
      {"far too large", Pattern(3 * Board::kRamSize), false},
      {"a directory", std::nullopt, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TemporaryDirectory dir;
    const fs::path path = dir.file("program.bin");
    if (row.bytes) {
      WriteBytes(path.string(), *row.bytes);
    } else {
      fs::create_directory(path);
    }
    ::testing::internal::CaptureStderr();
    Simulator sim(WithRamFile(path));
    const std::string said = ::testing::internal::GetCapturedStderr();
    std::vector<uint8_t> expected(Board::kRamSize, 0x00);
    if (row.loads) {
      EXPECT_EQ(said, "");
      std::copy(row.bytes->begin(), row.bytes->end(), expected.begin() + Board::kRamProgramStart);
    } else {
      EXPECT_EQ(said.rfind("omrix-sim: ", 0), 0u) << said;
      EXPECT_EQ(Lines(said), 1u) << said;
      EXPECT_NE(said.find(path.string()), std::string::npos) << said;
    }
    EXPECT_TRUE(sim.ram() == expected);
  }
}

TEST(RamFile, AMissingFileIsReportedOnceAndNoFileIsNoLoad) {
  TemporaryDirectory dir;
  ::testing::internal::CaptureStderr();
  Simulator missing(WithRamFile(dir.file("nowhere.bin")));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.rfind("omrix-sim: ", 0), 0u) << said;
  EXPECT_EQ(Lines(said), 1u) << said;
  EXPECT_NE(said.find("nowhere.bin"), std::string::npos) << said;
  EXPECT_TRUE(missing.ram() == std::vector<uint8_t>(Board::kRamSize, 0x00));

  ::testing::internal::CaptureStderr();
  Simulator none;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(none.ram() == std::vector<uint8_t>(Board::kRamSize, 0x00));
}

TEST(RamFile, LiesOverTheRamOfTheFirstStateLoadedOnly) {
  TemporaryDirectory dir;
  const fs::path state = dir.file("state");
  const fs::path program = dir.file("program.bin");
  WriteBytes(program.string(), kHiProgram);
  {
    Simulator last(WithRamFile({}, state));
    ASSERT_TRUE(last.attach());
    std::fill_n(last.ram().begin() + Board::kRamProgramStart, 0x40, 0xEE);
  }
  Simulator sim(WithRamFile(program, state));
  ASSERT_TRUE(sim.attach());
  EXPECT_TRUE(std::equal(kHiProgram.begin(), kHiProgram.end(), sim.ram().begin() + 0x200));
  EXPECT_EQ(sim.ram()[0x200 + kHiProgram.size()], 0xEE) << "the rest is the last process's";
  sim.ram()[0x200] = 0x42;
  sim.detach();
  ASSERT_TRUE(sim.attach());
  EXPECT_EQ(sim.ram()[0x200], 0x42) << "the file was loaded again";
}

TEST(RamFile, AFileThatFailsLeavesTheStoredRam) {
  TemporaryDirectory dir;
  const fs::path state = dir.file("state");
  {
    Simulator last(WithRamFile({}, state));
    ASSERT_TRUE(last.attach());
    last.ram()[0x200] = 0x0D;
  }
  WriteBytes(dir.file("big.bin"), Pattern(kRoom + 1));
  ::testing::internal::CaptureStderr();
  Simulator sim(WithRamFile(dir.file("big.bin"), state));
  ASSERT_TRUE(sim.attach());
  EXPECT_EQ(Lines(::testing::internal::GetCapturedStderr()), 1u);
  EXPECT_EQ(sim.ram()[0x200], 0x0D);
  EXPECT_EQ(sim.ram()[0x201], 0x00);
}

TEST(RamWindow, TheLibrarysReadSequenceReadsAPreloadedProgramInEveryMode) {
  struct Mode {
    const char* name;
    uint8_t ppControl;
  };
  const Mode modes[] = {{"Spp", HostBus::kSpp}, {"Ps2", HostBus::kPs2}, {"Epp", HostBus::kEpp}};
  TemporaryDirectory dir;
  WriteBytes(dir.file("hi.bin"), kHiProgram);
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.name);
    Simulator sim(WithRamFile(dir.file("hi.bin")));
    // Bytes around the program, so a swapped or stale address byte reads something else.
    sim.ram()[0x0000] = 0x5A;
    sim.ram()[0x01FF] = 0x77;
    sim.ram()[0x020F] = 0x99;
    sim.ram()[0x0F02] = 0x3C;
    sim.ram()[0xFFFF] = 0xC3;
    sim.loadDesign(Design::Basic52);
    HostBus bus(sim, kBase, mode.ppControl);
    bus.sendTransferMode();
    std::vector<uint8_t> program;
    for (uint16_t address = 0x200; address < 0x200 + kHiProgram.size(); ++address) {
      bus.outbyte(Board::kRamAddressLow, static_cast<uint8_t>(address));
      bus.outbyte(Board::kRamAddressHigh, static_cast<uint8_t>(address >> 8));
      program.push_back(bus.inbyte(Board::kRamData));
    }
    EXPECT_EQ(program, kHiProgram);
    const uint16_t around[] = {0x01FF, 0x020F, 0x0F02, 0x0000, 0xFFFF, 0x0200};
    for (const uint16_t address : around) {
      SCOPED_TRACE(address);
      bus.outbyte(Board::kRamAddressLow, static_cast<uint8_t>(address));
      bus.outbyte(Board::kRamAddressHigh, static_cast<uint8_t>(address >> 8));
      EXPECT_EQ(bus.inbyte(Board::kRamData), sim.ram()[address]);
    }
  }
}

}  // namespace
}  // namespace omrix::sim
