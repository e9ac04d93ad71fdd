// FPGA loads and flash operations end to end: the library against the simulated board.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "board/flash.h"
#include "board/flash_chip.h"
#include "board/fpga.h"
#include "board/sim_board_fixture.h"
#include "core/helpers.h"
#include "omrix/sim/state_store.h"
#include "setup/setup_data.h"

namespace omrix {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kModes[] = {kModeSpp, kModePs2, kModeEpp};
const std::string kVendorDir =
    std::string(OMRIX_TEST_SOURCE_DIR) + "/../../shared/testdata/bitstreams/";

class BoardSimTest : public testing::SimBoardTest {
 protected:
  sim::Simulator& Board() { return testing::Board(); }
  // The setup design loaded, as every flash operation needs it.
  void LoadSetup() { ASSERT_EQ(FpgaConfig("setup.bit", 0, 0), 0); }
  void EraseSectors(std::initializer_list<std::uint32_t> sectors) {
    for (std::uint32_t sector : sectors) ASSERT_EQ(FlashSectorErase(sector), 0);
  }
  std::vector<std::uint8_t> Bytes(const std::string& path) {
    const std::string text = testing::ReadWholeFile(path);
    return {text.begin(), text.end()};
  }
  std::vector<std::uint8_t> FlashRange(std::uint32_t from, std::size_t count) {
    return {Board().flash().begin() + from,
            Board().flash().begin() + from + static_cast<std::ptrdiff_t>(count)};
  }
};

TEST_F(BoardSimTest, ViaPcLoadsTheDesignTheFileCarriesInEveryMode) {
  struct Case {
    const char* file;
    std::int32_t result;
    sim::Design design;
  };
  const Case cases[] = {{"setup.bit", 0, sim::Design::Setup},
                        {"demo.bit", 0, sim::Design::Demo},
                        {"noreg.bit", OMRIX_FPGA_NO_CONFIG_REGISTER, sim::Design::NoRegisters}};
  for (std::uint8_t mode : kModes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.file) + " in mode " + std::to_string(mode));
      UseMode(mode);
      ClearTranscript();
      EXPECT_EQ(FpgaConfig(Path(c.file).c_str(), 1, 1), c.result);
      EXPECT_EQ(Board().design(), c.design);
      EXPECT_EQ(
          Transcript().rfind("Configure FPGA via PC with file: '" + Path(c.file) + "' ...\n", 0),
          0u);
      if (c.result == 0) {
        // The board was told the transfer mode after the load.
        EXPECT_EQ(Board().boardRegister(0), mode == kModeSpp ? 0 : mode == kModePs2 ? 2 : 4);
      }
    }
  }
}

TEST_F(BoardSimTest, FlashReloadNeedsTheBitsReversed) {
  for (bool reversed : {true, false}) {
    SCOPED_TRACE(reversed);
    UseMode(kModeEpp);  // programming is quickest there; the reload works in every mode
    LoadSetup();
    EraseSectors({0x40000, 0x50000});
    ASSERT_EQ(FlashProgram(Path("demo.bit").c_str(), 0x40000, 0x5FFFF, 0, 1, reversed ? 1 : 0), 0);
    for (std::uint8_t mode : kModes) {
      SCOPED_TRACE(static_cast<int>(mode));
      UseMode(mode);
      ClearTranscript();
      const std::int32_t result = FpgaConfig("FLASH", 0, 1);
      EXPECT_EQ(Board().design(), reversed ? sim::Design::Demo : sim::Design::None);
      EXPECT_EQ(result, reversed ? 0 : OMRIX_FPGA_NO_CONFIG_REGISTER);
      EXPECT_EQ(Transcript().rfind("FPGA configured via flash\n", 0), 0u);
      EXPECT_EQ(FieldText(state.fpgaConfigFile), "FLASH");
    }
  }
}

TEST_F(BoardSimTest, ClearLeavesTheFpgaEmpty) {
  LoadSetup();
  EXPECT_EQ(FpgaConfig("clear", 0, 1), OMRIX_FPGA_CLEARED);
  EXPECT_EQ(Board().design(), sim::Design::None);
}

TEST_F(BoardSimTest, LoadViaPcRightAfterDeInitialisationTakesTheSerialData) {
  LoadSetup();
  EraseSectors({0x40000, 0x50000});
  ASSERT_EQ(FlashProgram(Path("demo.bit").c_str(), 0x40000, 0x5FFFF, 0, 1, 1), 0);
  testing::WriteWholeFile(Path("omrix.dat"), "");
  DeInitOmrix(0);
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(FpgaConfig("setup.bit", 0, 0), 0);
  EXPECT_EQ(Board().design(), sim::Design::Setup);
}

TEST_F(BoardSimTest, VendorFilesAreForeignDesignsClockedWhole) {
  for (const char* name : {"bscan_spi_xc3s100e.bit", "Quickstart-Papilio_One_250K-v1.5.bit"}) {
    const std::string path = kVendorDir + name;
    if (!fs::exists(path)) GTEST_SKIP() << "no vendor files at " << kVendorDir;
    SCOPED_TRACE(name);
    Board().resetAccessCounts();
    EXPECT_EQ(FpgaConfig(path.c_str(), 1, 0), OMRIX_FPGA_NO_CONFIG_REGISTER);
    EXPECT_EQ(Board().design(), sim::Design::Foreign);
    // Besides the stream: one from the line state, three of the PROGRAM pulse, one when the
    // lines go back, two of the SPP-style mode write.
    EXPECT_EQ(Board().accessCounts(0x378).writes[0], 16 * fs::file_size(path) + 7);
  }
}

TEST_F(BoardSimTest, VendorFilesViaFlashFitOrDoNot) {
  const std::pair<const char*, sim::Design> cases[] = {
      {"bscan_spi_xc3s100e.bit", sim::Design::Foreign},
      {"Quickstart-Papilio_One_250K-v1.5.bit", sim::Design::None}};  // larger than the slot
  for (const auto& [name, design] : cases) {
    const std::string path = kVendorDir + name;
    if (!fs::exists(path)) GTEST_SKIP() << "no vendor files at " << kVendorDir;
    SCOPED_TRACE(name);
    LoadSetup();
    EraseSectors({0x40000, 0x50000});
    const std::int32_t programmed = FlashProgram(path.c_str(), 0x40000, 0x5FFFF, 0, 1, 1);
    EXPECT_EQ(programmed, 0);  // what does not fit is left out, what fits verifies
    EXPECT_EQ(FpgaConfig("FLASH", 0, 0), OMRIX_FPGA_NO_CONFIG_REGISTER);
    EXPECT_EQ(Board().design(), design);
  }
}

TEST_F(BoardSimTest, ProgramSaveAndProgramBackGiveTheSameFlash) {
  LoadSetup();
  EraseSectors({0x10000});
  ClearTranscript();
  ASSERT_EQ(FlashProgram(Path("demo.bin").c_str(), 0x10000, 0x1FFFF, 0, 1, 0), 0);
  EXPECT_EQ(Transcript(), "Program flash starting at 10000h with file '" + Path("demo.bin") +
                              "'\n-> verify flash \n-> flash program done\n");
  EXPECT_EQ(FieldText(state.flashCpuFile1), Path("demo.bin"));
  EXPECT_EQ(FlashRange(0x10000, 3000), Bytes(Path("demo.bin")));
  const std::vector<std::uint8_t> before = Board().flash();

  ASSERT_EQ(FlashRead2File(Path("save.rom").c_str(), 0, 0x7BFFF), 0);
  EXPECT_EQ(fs::file_size(Path("save.rom")), 507904u);
  ASSERT_EQ(FlashChipErase(), 0);
  EXPECT_EQ(Board().flash(), std::vector<std::uint8_t>(0x80000, 0xFF));
  for (std::uint32_t sector : kFlashSectors) ASSERT_EQ(FlashSectorErase(sector), 0);
  ASSERT_EQ(FlashProgram(Path("save.rom").c_str(), 0, 0x7BFFF, 0, 1, 0), 0);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 0x7C000, Board().flash().begin()));
  for (FileNameField* slot :
       {&state.flashFpgaFile0, &state.flashFpgaFile1, &state.flashCpuFile0, &state.flashCpuFile3})
    EXPECT_EQ(FieldText(*slot), Path("save.rom"));
}

TEST_F(BoardSimTest, ProgrammingOverUnerasedDataFailsAsTheChipDoes) {
  LoadSetup();
  EraseSectors({0x20000});
  testing::WriteWholeFile(Path("zero.bin"), std::string(1, '\0'));
  testing::WriteWholeFile(Path("five.bin"), "\x55");
  ASSERT_EQ(FlashProgram(Path("zero.bin").c_str(), 0x20000, 0x2FFFF, 0, 1, 0), 0);
  ClearTranscript();
  EXPECT_EQ(FlashProgram(Path("five.bin").c_str(), 0x20000, 0x2FFFF, 0, 1, 0), 2);
  EXPECT_EQ(Transcript(), "Program flash starting at 20000h with file '" + Path("five.bin") +
                              "'\n-> ERROR: Flash memory program timeout\n");
  EXPECT_EQ(FieldText(state.flashCpuFile2), Path("zero.bin"));
  EXPECT_EQ(Board().flash()[0x20000], 0x00);
}

TEST_F(BoardSimTest, InjectedFaultsEndWithTheirCodeAndChangeNothingElse) {
  struct Case {
    const char* name;
    std::function<void(sim::SimConfig&)> arrange;
    std::function<std::int32_t()> operation;
    std::int32_t expected;
    const char* lastLine;
  };
  const std::string demo = Path("demo.bin");
  const Case cases[] = {
      {"byte_that_never_programs", [](auto& b) { b.flashStuck = 0x30010; },
       [&] { return FlashProgram(demo.c_str(), 0x30000, 0x3FFFF, 0, 1, 0); }, 2,
       "-> ERROR: Flash memory program timeout\n"},
      {"sector_that_never_erases", [](auto& b) { b.flashStuck = 0x30010; },
       [] { return FlashSectorErase(0x30000); }, 2,
       "-> ERROR: Flash memory sector erase timeout at 30000h\n"},
      {"bit_that_reads_wrong",
       [](auto& b) {
         b.badBit = sim::FlashBit{0x30005, 3};
       },
       [&] { return FlashProgram(demo.c_str(), 0x30000, 0x3FFFF, 0, 1, 0); }, 4,
       "-> ERROR: Flash memory verify error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimConfig board = testing::QuickBoard();
    c.arrange(board);
    Start(board);
    LoadSetup();
    const std::vector<std::uint8_t> before = Board().flash();
    SetField(state.flashCpuFile3, "/old.bin");
    ClearTranscript();
    EXPECT_EQ(c.operation(), c.expected);
    const std::string transcript = Transcript();
    EXPECT_EQ(transcript.substr(transcript.size() - std::strlen(c.lastLine)), c.lastLine);
    EXPECT_NE(FieldText(state.flashCpuFile3), demo);
    // Outside the slot nothing changed.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 0x30000, Board().flash().begin()));
    EXPECT_TRUE(
        std::equal(before.begin() + 0x40000, before.end(), Board().flash().begin() + 0x40000));
  }
}

TEST_F(BoardSimTest, StuckBusEndsAtTheDeadline) {
  LoadSetup();
  SetFlashDeadlines({5, 20, 50});
  const std::vector<std::uint8_t> before = Board().flash();
  for (std::uint8_t stuck : {std::uint8_t{0x00}, std::uint8_t{0x7F}}) {
    SCOPED_TRACE(static_cast<int>(stuck));
    Board().setStuckBus(0, stuck);  // every read from now on
    ClearTranscript();
    EXPECT_EQ(FlashSectorErase(0x10000), 2);
    EXPECT_EQ(FieldText(state.flashCpuFile1), "UNKNOWN");
    EXPECT_EQ(FlashProgram(Path("demo.bin").c_str(), 0x10000, 0x1FFFF, 0, 1, 0), 2);
    EXPECT_NE(Transcript().find("-> ERROR: Flash memory program timeout\n"), std::string::npos);
    Board().setStuckBus(std::nullopt);
  }
  SetFlashDeadlines({});
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 0x10000, Board().flash().begin()));
}

TEST_F(BoardSimTest, FactoryBoardCarriesItsTypecode) {
  LoadSetup();
  std::uint8_t code[4] = {};
  FlashReadBlock(0x7FF90, 4, code);
  EXPECT_EQ(std::vector<std::uint8_t>(code, code + 4), (std::vector<std::uint8_t>{0x11, 0, 0, 0}));
}

TEST_F(BoardSimTest, SecondProcessFindsThePortBusy) {
  ASSERT_EQ(DisablePortAccess(), 1);  // the fixture's grant
  sim::SimConfig sameBoard = testing::QuickBoard();
  sameBoard.stateDir = Board().config().stateDir;
  sim::Simulator otherProcess(sameBoard);
  ASSERT_TRUE(otherProcess.attach());
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(platform::portBackend().in(0x378), 0xFF);  // nothing granted, nothing reached
  otherProcess.detach();
  EXPECT_EQ(EnablePortAccess(), 1);
}

TEST_F(BoardSimTest, BoardKeepsItsFlashAndDesignForTheNextProcess) {
  LoadSetup();
  EraseSectors({0x00000});
  ASSERT_EQ(FlashProgram(Path("demo.bin").c_str(), 0, 0xFFFF, 0, 1, 0), 0);
  testing::WriteWholeFile(Path("omrix.dat"), "");
  DeInitOmrix(2);  // lines at rest, the design keeps running
  sim::SimConfig sameBoard = testing::QuickBoard();
  sameBoard.stateDir = Board().config().stateDir;
  sim::Simulator nextProcess(sameBoard);
  ASSERT_TRUE(nextProcess.attach());
  EXPECT_EQ(nextProcess.design(), sim::Design::Setup);
  EXPECT_TRUE(
      std::equal(Board().flash().begin(), Board().flash().end(), nextProcess.flash().begin()));
}

TEST_F(BoardSimTest, SecondBringUpGivesThePortBack) {
  ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
  sim::SimConfig sameBoard = testing::QuickBoard();
  sameBoard.stateDir = Board().config().stateDir;
  sim::Simulator otherProcess(sameBoard);
  EXPECT_TRUE(otherProcess.attach());
}

using BoardSimDeathTest = BoardSimTest;

TEST_F(BoardSimDeathTest, ProcessEndingWithoutDeInitialisationKeepsTheBoard) {
  // A local: the exit handlers of the child remove the test's own directory, not this one.
  const testing::TemporaryDirectory boardHome;
  sim::SimConfig board = testing::QuickBoard();
  board.stateDir = boardHome.path();
  testing::ResetLibrary(Directory(), board);
  ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  LoadSetup();
  // Ends as a program that never calls DeInitOmrix: the board is saved by the exit handlers.
  EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), "");
  std::string problem;
  const auto saved = sim::ReadBoardState(boardHome.path() + "board.state", problem);
  ASSERT_TRUE(saved.has_value()) << problem;
  EXPECT_EQ(saved->design, sim::Design::Setup);
  testing::ResetLibrary(Directory());  // this process's board goes while its home is there
}

}  // namespace
}  // namespace omrix
