#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "config_files.h"
#include "cpu_printing.h"
#include "host_bus.h"
#include "omrix/sim/simulator.h"
#include "support/files.h"
#include "omrix/sim/state_store.h"

namespace omrix::sim {
namespace {

namespace fs = std::filesystem;
using omrix::testing::ReadWholeFile;
using omrix::testing::TemporaryDirectory;
using omrix::testing::WriteWholeFile;
using testing::HostBus;
using testing::ReverseEachByte;
using testing::SmallBitFile;

constexpr uint16_t kBase = 0x378;

SimConfig InDirectory(const fs::path& directory) {
  SimConfig config;
  config.stateDir = directory.string();
  return config;
}

// The text with the first `from` replaced; unchanged, which fails the test, if it has none.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(BoardState, OneProcessAtATimeHoldsTheBoard) {
  TemporaryDirectory dir;
  Simulator first(InDirectory(dir.path()));
  Simulator second(InDirectory(dir.path()));
  ASSERT_TRUE(first.attach());
  EXPECT_FALSE(second.attach());
  EXPECT_FALSE(second.attached());
  EXPECT_TRUE(first.attach()) << "attaching again while attached";
  first.detach();
  EXPECT_FALSE(first.attached());
  EXPECT_TRUE(second.attach());
  EXPECT_FALSE(first.attach());
  second.detach();
  EXPECT_TRUE(first.attach());
}

TEST(BoardState, WhatOneProcessLeavesTheNextFinds) {
  struct Row {
    const char* name;
    std::function<void(Simulator&, HostBus&)> act;
    std::function<void(const Simulator&)> check;
  };
  const Row rows[] = {
      {"a programmed byte",
       [](Simulator& sim, HostBus& bus) {
         bus.configureViaPc(SmallBitFile(testing::kSetupFieldA));
         bus.flashProgram(0x00010, 0x42);
         sim.sleepMs(1);
       },
       [](const Simulator& sim) {
         EXPECT_EQ(sim.flash()[0x00010], 0x42);
         EXPECT_EQ(sim.flash()[0x7FF90], 0x11);
       }},
      {"a design and its registers",
       [](Simulator&, HostBus& bus) {
         bus.setMode(HostBus::kPs2);
         bus.configureViaPc(SmallBitFile(testing::kDemoFieldA));
         bus.outbyte(Board::kConfigRegister, 0x86);
         bus.outbyte(Board::kFlashData, 0x3C);
         bus.flashAddress(0x0ABCDE);
       },
       [](const Simulator& sim) {
         EXPECT_EQ(sim.design(), Design::Demo);
         const uint8_t expected[] = {Board::kModePs2, 0x86, 0x00, 0x3C, 0xDE, 0xBC, 0x0A};
         for (uint8_t a = 0; a < 7; ++a) EXPECT_EQ(sim.boardRegister(a), expected[a]) << int{a};
       }},
      {"a cleared FPGA",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Setup);
         bus.clearFpga();
       },
       [](const Simulator& sim) { EXPECT_EQ(sim.design(), Design::None); }},
      {"a foreign design",
       [](Simulator&, HostBus& bus) { bus.configureViaPc(SmallBitFile("foreign.ncd")); },
       [](const Simulator& sim) { EXPECT_EQ(sim.design(), Design::Foreign); }},
      {"the CPU's RAM",
       [](Simulator& sim, HostBus&) {
         sim.loadDesign(Design::Basic52);
         sim.ram()[0x0200] = 0x0D;
         sim.ram()[0xFFFF] = 0x01;
       },
       [](const Simulator& sim) {
         EXPECT_EQ(sim.design(), Design::Basic52);
         EXPECT_EQ(sim.ram()[0x0200], 0x0D);
         EXPECT_EQ(sim.ram()[0xFFFF], 0x01);
         EXPECT_EQ(sim.ram()[0x0201], 0x00);
       }},
      {"a reload from flash still running",
       [](Simulator& sim, HostBus& bus) {
         const std::vector<uint8_t> file = ReverseEachByte(SmallBitFile(testing::kSetupFieldA));
         std::copy(file.begin(), file.end(), sim.flash().begin() + 0x40000);
         bus.setPortLines(1);
       },
       [](const Simulator& sim) {
         EXPECT_EQ(sim.design(), Design::Setup);
         EXPECT_EQ(sim.boardRegister(Board::kConfigRegister), 0x01);
       }},
      {"a sector erase still running",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Setup);
         std::fill_n(sim.flash().begin() + 0x78000, 0x2000, 0x00);
         bus.flashSectorErase(0x78000);
       },
       [](const Simulator& sim) {
         EXPECT_EQ(sim.flash()[0x78000], 0xFF);
         EXPECT_EQ(sim.flash()[0x79FFF], 0xFF);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TemporaryDirectory dir;
    {
      Simulator first(InDirectory(dir.path()));
      ASSERT_TRUE(first.attach());
      HostBus bus(first, kBase);
      row.act(first, bus);
      first.detach();
    }
    Simulator next(InDirectory(dir.path()));
    ASSERT_TRUE(next.attach());
    row.check(next);
  }
}

TEST(BoardState, TheCpuGoesOnWhereTheLastProcessLeftIt) {
  struct Row {
    const char* name;
    // Returns the record the next process must find.
    std::function<CpuRecord(Simulator&, HostBus&)> act;
    CpuState cpu;
  };
  const Row rows[] = {
      {"held on a slot",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Setup);
         bus.outbyte(Board::kConfigRegister, 0x02);
         bus.outbyte(Board::kConfigRegister, 0x87);
         return sim.cpuRecord();
       },
       {false, 3}},
      {"running on a design that starts it held",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Setup);
         bus.outbyte(Board::kConfigRegister, 0x04);
         return sim.cpuRecord();
       },
       {true, 2}},
      {"running after restarts",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Basic52);
         const uint8_t configs[] = {0x03, 0x02, 0x05, 0x04};
         for (const uint8_t config : configs) {
           sim.sleepMs(2);
           bus.outbyte(Board::kConfigRegister, config);
         }
         return sim.cpuRecord();
       },
       {true, 2}},
      {"held with the FPGA cleared",
       [](Simulator& sim, HostBus& bus) {
         sim.loadDesign(Design::Demo);
         bus.clearFpga();
         return sim.cpuRecord();
       },
       {false, 0}},
      {"started by a reload still running",
       [](Simulator& sim, HostBus& bus) {
         const std::vector<uint8_t> file = ReverseEachByte(SmallBitFile("omrix_basic52.ncd"));
         std::copy(file.begin(), file.end(), sim.flash().begin() + Board::kFpgaSlotStart);
         bus.setPortLines(1);
         CpuRecord record = sim.cpuRecord();
         ++record.starts;
         record.recent.push_back(CpuStart{0, sim.nowNs() + sim.config().fpgaReloadMs * 1'000'000});
         return record;
       },
       {true, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TemporaryDirectory dir;
    CpuRecord expected;
    {
      Simulator first(InDirectory(dir.path()));
      ASSERT_TRUE(first.attach());
      HostBus bus(first, kBase);
      expected = row.act(first, bus);
      first.detach();
    }
    Simulator next(InDirectory(dir.path()));
    ASSERT_TRUE(next.attach());
    EXPECT_EQ(next.cpu(), row.cpu);
    EXPECT_EQ(next.cpuRecord(), expected);
    // Taking the board back, and writing what it holds, is no reset pulse; the next one
    // counts on.
    HostBus bus(next, kBase);
    bus.outbyte(Board::kConfigRegister, next.boardRegister(Board::kConfigRegister));
    EXPECT_EQ(next.cpuRecord().starts, expected.starts);
    bus.outbyte(Board::kConfigRegister, 0x01);
    bus.outbyte(Board::kConfigRegister, 0x00);
    if (next.design() != Design::None) ++expected.starts;
    EXPECT_EQ(next.cpuRecord().starts, expected.starts);
  }
}

TEST(BoardState, AFileFromBeforeTheCpuRecordLoadsWithAnEmptyOne) {
  TemporaryDirectory dir;
  {
    Simulator writer(InDirectory(dir.path()));
    ASSERT_TRUE(writer.attach());
    writer.loadDesign(Design::Basic52);
    writer.setBoardRegister(Board::kConfigRegister, 0x04);
    writer.flash()[0x100] = 0x00;
  }
  const fs::path file = dir.file("board.state");
  std::string text = ReadWholeFile(file.string());
  const std::size_t cpuLine = text.find("\ncpu ");
  ASSERT_NE(cpuLine, std::string::npos);
  text.erase(cpuLine, text.find('\n', cpuLine + 1) - cpuLine);
  text.replace(0, text.find('\n'), "omrix-sim board state 1");
  WriteWholeFile(file.string(), text);
  Simulator reader(InDirectory(dir.path()));
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.attach());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(reader.design(), Design::Basic52);
  EXPECT_EQ(reader.flash()[0x100], 0x00);
  EXPECT_EQ(reader.cpu(), (CpuState{true, 2}));
  EXPECT_EQ(reader.cpuRecord(), CpuRecord{});
}

TEST(BoardState, TheDestructorSavesAndReleases) {
  TemporaryDirectory dir;
  {
    Simulator first(InDirectory(dir.path()));
    ASSERT_TRUE(first.attach());
    first.flash()[0x1234] = 0x00;
  }
  Simulator next(InDirectory(dir.path()));
  ASSERT_TRUE(next.attach());
  EXPECT_EQ(next.flash()[0x1234], 0x00);
}

TEST(BoardState, SaveWritesNowWhileKeepingTheBoard) {
  TemporaryDirectory dir;
  Simulator first(InDirectory(dir.path()));
  ASSERT_TRUE(first.attach());
  first.loadDesign(Design::Setup);
  first.flash()[0x777] = 0x07;
  first.save();
  std::string error;
  const std::optional<BoardState> saved = ReadBoardState(dir.file("board.state"), error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->design, Design::Setup);
  EXPECT_EQ(saved->flash[0x777], 0x07);
  EXPECT_FALSE(fs::exists(dir.file("board.state.tmp")));
  Simulator second(InDirectory(dir.path()));
  EXPECT_FALSE(second.attach());
}

// Called after every library call: what the PC changed is written at once, and a call that
// changed nothing of the board writes nothing.
TEST(BoardState, SaveIfChangedWritesOnlyAChangedBoard) {
  TemporaryDirectory dir;
  Simulator sim(InDirectory(dir.path()));
  ASSERT_TRUE(sim.attach());
  const fs::path file = dir.file("board.state");
  sim.loadDesign(Design::Setup);
  sim.saveIfChanged();
  ASSERT_TRUE(fs::exists(file));
  fs::remove(file);
  HostBus bus(sim, kBase);
  sim.in(kBase + 1);
  sim.out(kBase + 2, sim.in(kBase + 2));  // the port's lines as they were
  sim.saveIfChanged();
  EXPECT_FALSE(fs::exists(file));
  bus.outbyte(Board::kModeRegister, Board::kModeEpp);
  sim.saveIfChanged();
  std::string error;
  const std::optional<BoardState> saved = ReadBoardState(file.string(), error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->registers[Board::kModeRegister], Board::kModeEpp);
}

TEST(BoardState, AttachingLoadsOnlyWhatIsThere) {
  TemporaryDirectory dir;
  Simulator first(InDirectory(dir.file("made/on demand")));
  first.loadDesign(Design::Setup);
  first.flash()[0] = 0x00;
  ASSERT_TRUE(first.attach());
  EXPECT_EQ(first.design(), Design::Setup) << "no state file: the board stays as it is";
  EXPECT_EQ(first.flash()[0], 0x00);
  first.flash()[1] = 0x00;
  ASSERT_TRUE(first.attach());
  EXPECT_EQ(first.flash()[1], 0x00) << "attaching again reloaded the file";
  first.detach();

  Simulator fresh(InDirectory(dir.file("elsewhere")));
  ASSERT_TRUE(fresh.attach());
  EXPECT_TRUE(fresh.flash() == FactoryFlashImage());
  EXPECT_EQ(fresh.design(), Design::None);
}

TEST(BoardState, UnusableStateFileIsReportedAndTheBoardKept) {
  struct Row {
    const char* name;
    std::function<std::string(const std::string&)> spoil;
  };
  const Row rows[] = {
      {"garbage", [](const std::string&) { return std::string("not a state file\n"); }},
      {"cut short", [](const std::string& s) { return s.substr(0, s.size() - 100); }},
      {"trailing bytes", [](const std::string& s) { return s + "x"; }},
      {"unknown design",
       [](const std::string& s) {
         std::string t = s;
         t.replace(t.find("design "), 7, "design x");
         return t;
       }},
      {"register out of range",
       [](const std::string& s) {
         std::string t = s;
         t.replace(t.find("registers "), 10, "registers 256 ");
         return t;
       }},
      {"no CPU record", [](const std::string& s) { return Replaced(s, "\ncpu 2 ", "\nxpu 2 "); }},
      {"CPU starts not a number",
       [](const std::string& s) { return Replaced(s, "cpu 2 ", "cpu -2 "); }},
      {"CPU slot out of range", [](const std::string& s) { return Replaced(s, " 3:", " 4:"); }},
      {"CPU start without a time", [](const std::string& s) { return Replaced(s, " 3:", " 3 "); }},
      {"more recent starts than starts",
       [](const std::string& s) { return Replaced(s, "cpu 2 ", "cpu 1 "); }},
      {"CPU record ending in a space",
       [](const std::string& s) { return Replaced(s, "\nflash", " \nflash"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TemporaryDirectory dir;
    {
      Simulator writer(InDirectory(dir.path()));
      ASSERT_TRUE(writer.attach());
      writer.loadDesign(Design::Setup);
      writer.flash()[0x100] = 0x00;
      writer.setBoardRegister(Board::kConfigRegister, 0x02);
      writer.setBoardRegister(Board::kConfigRegister, 0x01);
      writer.setBoardRegister(Board::kConfigRegister, 0x06);
    }
    const fs::path file = dir.file("board.state");
    WriteWholeFile(file.string(), row.spoil(ReadWholeFile(file.string())));
    Simulator reader(InDirectory(dir.path()));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(reader.attach());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("omrix-sim: "), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(reader.design(), Design::None);
    EXPECT_TRUE(reader.flash() == FactoryFlashImage());
    reader.detach();
    Simulator after(InDirectory(dir.path()));
    ASSERT_TRUE(after.attach());
    EXPECT_TRUE(after.flash() == FactoryFlashImage()) << "the next save did not repair the file";
  }
}

TEST(BoardState, WithoutAUsableDirectoryTheBoardRunsUnsaved) {
  TemporaryDirectory dir;
  WriteWholeFile(dir.file("a file"), "x");
  Simulator sim(InDirectory(dir.file("a file/state")));
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(sim.attach());
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.rfind("omrix-sim: ", 0), 0u) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_TRUE(sim.attached());
  sim.flash()[0] = 0x00;
  ::testing::internal::CaptureStderr();
  sim.detach();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadWholeFile(dir.file("a file")), "x");
}

TEST(BoardState, WithoutADirectoryNothingIsWritten) {
  TemporaryDirectory dir;
  const fs::path working = fs::current_path();
  fs::current_path(dir.path());
  {
    Simulator sim;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(sim.attach());
    sim.detach();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  fs::current_path(working);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace omrix::sim
