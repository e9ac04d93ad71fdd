// CPU control and MCS BASIC-52 program storage.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "board/basic.h"
#include "board/board_fixture.h"
#include "board/cpu.h"
#include "board/flash.h"
#include "board/fpga.h"
#include "board/sim_board_fixture.h"
#include "testing/test_files.h"

namespace omrix {
namespace {

namespace fs = std::filesystem;
using Cycles = std::vector<std::string>;

class CpuRecordedTest : public testing::RecordedBoardTest {
 protected:
  void SetUp() override {
    RecordedBoardTest::SetUp();
    state.PPcontrol = 0x44;
  }
};

TEST_F(CpuRecordedTest, RunFileChangesOnlyTheCpuBits) {
  struct Case {
    std::int32_t file;
    std::uint8_t before;
    const char* select;  // ConfigRegister written with the new select, reset released
    const char* held;    // and again with the reset bit set for the pulse
    const char* first;
  };
  const Case cases[] = {{7, 0xFB, "W 1 F8", "W 1 F9", "Run CPU file 7\n"},
                        {2, 0xFF, "W 1 FC", "W 1 FD", "Run CPU file 2\n"},
                        {3, 0x01, "W 1 06", "W 1 07", "Run CPU file 3\n"},
                        {0, 0x07, "W 1 00", "W 1 01", "Run CPU file 0\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    port_->accesses.clear();
    port_->sleeps.clear();
    ClearTranscript();
    const std::uint8_t selected =
        static_cast<std::uint8_t>(std::strtoul(c.select + 4, nullptr, 16));
    port_->answers = {c.before, selected};
    CpuRunFile(c.file);
    char before[16], after[16];
    std::snprintf(before, sizeof before, "R 1 %02X", c.before);
    std::snprintf(after, sizeof after, "R 1 %02X", selected);
    EXPECT_EQ(Recorded(), (Cycles{before, c.select, after, c.held, c.select}));
    EXPECT_EQ(port_->sleeps, (std::vector<std::uint32_t>{5, 5}));
    EXPECT_EQ(Transcript(), std::string(c.first) + "CPU reset\n");
  }
}

TEST_F(CpuRecordedTest, DisableHoldsTheCpuUntilTheNextReset) {
  port_->answers = {0x94, 0x95, 0x95};
  CpuReset(1);
  CpuReset(1);
  CpuReset(0);
  EXPECT_EQ(Recorded(),
            (Cycles{"R 1 94", "W 1 95", "R 1 95", "W 1 95", "R 1 95", "W 1 95", "W 1 94"}));
  EXPECT_EQ(Transcript(), "CPU disabled\nCPU disabled\nCPU reset\n");
}

class CpuSimTest : public testing::SimBoardTest {};

TEST_F(CpuSimTest, RunFileStartsTheChosenSlotAndDisableHoldsIt) {
  ASSERT_EQ(FpgaConfig("setup.bit", 0, 0), 0);  // the setup design holds the CPU
  EXPECT_FALSE(testing::Board().cpu().running);
  const std::uint64_t starts = testing::Board().cpuRecord().starts;
  for (std::uint8_t mode : {kModeSpp, kModePs2, kModeEpp}) {
    UseMode(mode);
    SendTransferMode();
    for (int slot : {1, 3, 0}) {
      CpuRunFile(slot);
      EXPECT_EQ(testing::Board().cpu(), (sim::CpuState{true, slot})) << int{mode};
    }
  }
  // One start a call, and one more for the first: its select write already releases the reset.
  EXPECT_EQ(testing::Board().cpuRecord().starts, starts + 10);
  CpuReset(1);
  EXPECT_FALSE(testing::Board().cpu().running);
  CpuReset(0);
  EXPECT_EQ(testing::Board().cpu(), (sim::CpuState{true, 0}));
  EXPECT_EQ(testing::Board().cpuRecord().starts, starts + 11);
}

const std::vector<std::uint8_t> kHello = {0x55, 0x09, 0x00, 0x0A, 0x89, 0x22, 0x48, 0x49,
                                          0x22, 0x0D, 0x05, 0x00, 0x14, 0xA3, 0x0D, 0x01};
const std::vector<std::uint8_t> kHeader = {0x32, 0xFF, 0xDC, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF,
                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class BasicSimTest : public testing::SimBoardTest {
 protected:
  void SetUp() override {
    SimBoardTest::SetUp();
    StageDataFile("basic52.dat");
    StageDataFile("hello.b52");
    ASSERT_EQ(FpgaConfig("setup.bit", 0, 0), 0);
    ClearTranscript();
  }
  std::vector<std::uint8_t> Flash(std::uint32_t from, std::size_t count) {
    const auto& flash = testing::Board().flash();
    return {flash.begin() + from, flash.begin() + from + static_cast<std::ptrdiff_t>(count)};
  }
  std::string WriteProgram(const std::string& name, std::size_t size) {
    std::string bytes(size, '\x22');
    bytes.front() = '\x55';
    bytes[size - 2] = '\x0D';
    bytes[size - 1] = '\x01';
    testing::WriteWholeFile(Path(name), bytes);
    return Path(name);
  }
  // Stores `count` copies of hello after a header, as earlier calls would have.
  void StorePrograms(std::uint32_t base, int count) {
    auto& flash = testing::Board().flash();
    std::copy(kHeader.begin(), kHeader.end(), flash.begin() + base + 0x8000);
    for (int i = 0; i < count; ++i)
      std::copy(kHello.begin(), kHello.end(), flash.begin() + base + 0x8010 + 16 * i);
  }
  static std::string Info(unsigned programs, unsigned free) {
    char text[128];
    std::snprintf(
        text, sizeof text,
        "-> INFO: flash contains %x MCS BASIC-52 programs, %u bytes MCS BASIC-52 ROM free\n",
        programs, free);
    return text;
  }
  static bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
  }
};

TEST_F(BasicSimTest, EmptyAreaGetsTheHeaderThenThePrograms) {
  EXPECT_EQ(BasicFlash(Path("hello.b52").c_str(), 0x10000), 0);
  EXPECT_EQ(Flash(0x18000, 16), kHeader);
  EXPECT_EQ(Flash(0x18010, 16), kHello);
  EXPECT_TRUE(EndsWith(Transcript(), Info(1, 0xE000 - 0x8010 - 16))) << Transcript();
  EXPECT_TRUE(fs::exists(Path("basic52.$$$")));  // beside its source
  EXPECT_EQ(FieldText(state.flashCpuFile1), Path("hello.b52"));

  ClearTranscript();
  EXPECT_EQ(BasicFlash(Path("hello.b52").c_str(), 0x10000), 0);
  EXPECT_EQ(Flash(0x18020, 16), kHello);  // right after the first one's 0x01
  EXPECT_TRUE(EndsWith(Transcript(), Info(2, 0xE000 - 0x8020 - 16)));
}

TEST_F(BasicSimTest, CountIsPrintedInHexadecimal) {
  StorePrograms(0x20000, 10);
  EXPECT_EQ(BasicFlash(Path("hello.b52").c_str(), 0x20000), 0);
  EXPECT_TRUE(EndsWith(Transcript(), Info(11, 0xE000 - (0x8010 + 16 * 11)))) << Transcript();
  EXPECT_NE(Transcript().find("contains b MCS"), std::string::npos);
}

TEST_F(BasicSimTest, ExactFitLeavesOneByteAndOneMoreIsFull) {
  StorePrograms(0x30000, 1);  // append offset 0x8020
  const std::string fits = WriteProgram("fits.b52", 0xDFFF - 0x8020);
  const std::string tooBig = WriteProgram("big.b52", 0xDFFF - 0x8020 + 1);
  const std::vector<std::uint8_t> before = Flash(0x38000, 0x6000);
  EXPECT_EQ(BasicFlash(tooBig.c_str(), 0x30000), 8);
  EXPECT_TRUE(EndsWith(Transcript(), "-> ERROR: Flash memory full\n"));
  EXPECT_EQ(Flash(0x38000, 0x6000), before);
  ClearTranscript();
  EXPECT_EQ(BasicFlash(fits.c_str(), 0x30000), 0);
  EXPECT_TRUE(EndsWith(Transcript(), Info(2, 1)));
}

TEST_F(BasicSimTest, HeaderThatCannotBeMadeFailsTheWholeCall) {
  const char* const kReading = "ERROR: reading MCS BASIC-52 header file\n";
  const char* const kCreating = "ERROR: creating MCS BASIC-52 binary header file\n";
  const std::string kSixteenLines =
      "32\nFF\nDC\n7F\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\n";
  struct Case {
    const char* name;
    std::string text;        // basic52.dat; empty: no file
    const char* leftBehind;  // what basic52.$$$ is before the call: "", "stale" or "fifo"
    const char* error;       // nullptr: header and program are written
  };
  const Case cases[] = {
      {"upper_case_head_with_comment", "x\n#HEADER_DATA follows\n" + kSixteenLines, "", nullptr},
      {"windows_lines",
       "#header_"
       "data\r\n32\r\nFF\r\nDC\r\n7F\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r\nFF\r"
       "\nFF\r\nFF\r\n",
       "stale", nullptr},
      {"fewer_than_16_lines", "#header_data\n32\n11\n", "", kReading},
      {"no_head", "32\nFF\n", "", kReading},
      {"missing_with_a_stale_header_left", "", "stale", kReading},
      {"header_file_is_a_fifo", "#header_data\n" + kSixteenLines, "fifo", kCreating},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(testing::QuickBoard());
    ASSERT_EQ(FpgaConfig("setup.bit", 0, 0), 0);
    StageDataFile("hello.b52");
    fs::remove(Path("basic52.$$$"));
    if (std::string(c.leftBehind) == "stale") {
      testing::WriteWholeFile(Path("basic52.$$$"), std::string(16, '\x11'));
    } else if (std::string(c.leftBehind) == "fifo") {
      ASSERT_EQ(mkfifo(Path("basic52.$$$").c_str(), 0600), 0);
    }
    if (c.text.empty()) {
      fs::remove(Path("basic52.dat"));
    } else {
      testing::WriteWholeFile(Path("basic52.dat"), c.text);
    }
    ClearTranscript();
    const std::string nameBefore = FieldText(state.flashCpuFile0);
    EXPECT_EQ(BasicFlash(Path("hello.b52").c_str(), 0), c.error == nullptr ? 0 : 1);
    if (c.error == nullptr) {
      EXPECT_EQ(Flash(0x8000, 16), kHeader);
      EXPECT_EQ(Flash(0x8010, 16), kHello);
    } else {
      EXPECT_EQ(Transcript(), c.error);
      EXPECT_EQ(Flash(0x8000, 32), std::vector<std::uint8_t>(32, 0xFF));
      EXPECT_EQ(FieldText(state.flashCpuFile0), nameBefore);
    }
  }
}

TEST_F(BasicSimTest, FileThatIsNoBasicProgramWritesNothing) {
  testing::WriteWholeFile(Path("prog.hex"),
                          ":100000000102030405060708090A0B0C0D0E0F1068\n:00000001FF\n");
  const std::vector<std::uint8_t> before = testing::Board().flash();
  EXPECT_EQ(BasicFlash(Path("prog.hex").c_str(), 0x10000), 1);
  EXPECT_EQ(Transcript(), "-> ERROR: '" + Path("prog.hex") + "' is no MCS BASIC-52 program file\n");
  EXPECT_EQ(testing::Board().flash(), before);
}

TEST_F(BasicSimTest, ProgramThatCannotBeOpenedWritesNothing) {
  const std::vector<std::uint8_t> before = testing::Board().flash();
  EXPECT_EQ(BasicFlash(Path("gone.b52").c_str(), 0x10000), 1);
  EXPECT_EQ(Transcript(), "-> ERROR: Could not open file '" + Path("gone.b52") + "'\n");
  EXPECT_EQ(testing::Board().flash(), before);  // not even the header of the empty area
}

class BasicRamTest : public testing::SimBoardTest {
 protected:
  void SetUp() override {
    SimBoardTest::SetUp();
    testing::Board().loadDesign(sim::Design::Basic52);
    testing::Board().setBoardRegister(0, 4);  // told EPP, as after a load
  }
  void PutInRam(const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), testing::Board().ram().begin() + 0x200);
  }
};

TEST_F(BasicRamTest, SavesTheProgramUpToItsEndMark) {
  PutInRam({kHello.begin() + 1, kHello.end()});
  const std::string out = Path("saved.b52");
  EXPECT_EQ(Basic2File(out.c_str(), 0x1000), 0);
  const std::string saved = testing::ReadWholeFile(out);
  EXPECT_EQ(std::vector<std::uint8_t>(saved.begin(), saved.end()), kHello);
  EXPECT_EQ(Transcript(), "CPU disabled\nSave MCS BASIC-52 program to file: '" + out +
                              "'\n -> done\nCPU reset\n");
}

TEST_F(BasicRamTest, EndMarkAtTheFirstAddress) {
  PutInRam({0x0D, 0x01});
  EXPECT_EQ(Basic2File(Path("short.b52").c_str(), 0x1000), 0);
  EXPECT_EQ(testing::ReadWholeFile(Path("short.b52")), "\x55\x0D\x01");
}

TEST_F(BasicRamTest, WithoutEndMarkEverythingReadIsKeptAndWarned) {
  EXPECT_EQ(Basic2File(Path("open.b52").c_str(), 0x1000), 2);
  EXPECT_EQ(testing::ReadWholeFile(Path("open.b52")).size(), 1u + 0x1000 - 0x200);
  EXPECT_EQ(Transcript(),
            "CPU disabled\nSave MCS BASIC-52 program to file: '" + Path("open.b52") +
                "'..............\n -> done\nCPU reset\n"
                "-> WARNING: created BASIC file not valid, END OF PROGRAM token missing\n");
}

TEST_F(BasicRamTest, OutputThatCannotBeWritten) {
  const std::string nowhere = Path("no/dir/x.b52");
  EXPECT_EQ(Basic2File(nowhere.c_str(), 0x1000), 3);
  EXPECT_EQ(
      Transcript(),
      "CPU disabled\nSave MCS BASIC-52 program to file: '" + nowhere +
          "'CPU reset\n-> WARNING: created BASIC file not valid, END OF PROGRAM token missing\n");
  PutInRam({kHello.begin() + 1, kHello.end()});
  testing::WriteWholeFile(Path("full.b52"), "\x55\x0D\x01");
  testing::InstallFaultyFiles()->failWriteAfterBytes = 4;
  ClearTranscript();
  EXPECT_EQ(Basic2File(Path("full.b52").c_str(), 0x1000), 3);
  EXPECT_NE(Transcript().find("END OF PROGRAM token missing"), std::string::npos);
  EXPECT_EQ(testing::ReadWholeFile(Path("full.b52")), "\x55\x0D\x01");  // the earlier save
}

}  // namespace
}  // namespace omrix
