// The flash window cycles, polling and slot names, against a recording port in EPP mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "board/flash.h"
#include "board/flash_chip.h"
#include "core/text.h"
#include "board/board_fixture.h"
#include "testing/test_files.h"

namespace omrix {
namespace {

using Cycles = std::vector<std::string>;

// The write cycle of one command byte: address bytes, data, then the strobes.
Cycles WriteCycle(std::uint32_t address, std::uint8_t data) {
  char text[6][16];
  std::snprintf(text[0], 16, "W 4 %02X", address & 0xFF);
  std::snprintf(text[1], 16, "W 5 %02X", (address >> 8) & 0xFF);
  std::snprintf(text[2], 16, "W 6 %02X", (address >> 16) & 0xFF);
  std::snprintf(text[3], 16, "W 3 %02X", data);
  return {text[0], text[1], text[2], text[3], "W 2 01", "W 2 05", "W 2 01", "W 2 00"};
}

Cycles Join(std::initializer_list<Cycles> parts) {
  Cycles all;
  for (const Cycles& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Cycles kUnlock = Join({WriteCycle(0xAAA, 0xAA), WriteCycle(0x555, 0x55)});
const Cycles kReset = Join({{"W 2 00", "W 2 08", "W 2 00"},
                            kUnlock,
                            WriteCycle(0xAAA, 0xF0),
                            {"W 2 01", "W 2 03", "W 2 01", "W 2 00"}});

class FlashRecordedTest : public testing::RecordedBoardTest {
 protected:
  void SetUp() override {
    RecordedBoardTest::SetUp();
    state.PPcontrol = 0x44;
    for (FileNameField* slot : Slots()) SetField(*slot, "UNKNOWN");
  }
  static std::vector<FileNameField*> Slots() {
    return {&state.flashFpgaFile0, &state.flashFpgaFile1, &state.flashCpuFile0,
            &state.flashCpuFile1,  &state.flashCpuFile2,  &state.flashCpuFile3};
  }
  static std::vector<std::string> SlotNames() {
    std::vector<std::string> names;
    for (FileNameField* slot : Slots()) names.push_back(FieldText(*slot));
    return names;
  }
  std::size_t Reads() const {
    return static_cast<std::size_t>(
        std::count_if(port_->accesses.begin(), port_->accesses.end(),
                      [](const auto& a) { return a.direction == 'i'; }));
  }
};

TEST_F(FlashRecordedTest, ResetPulsesTheLineAndSendsTheResetCommand) {
  FlashReset();
  EXPECT_EQ(Recorded(), kReset);
  EXPECT_EQ(port_->sleeps, (std::vector<std::uint32_t>{1, 1, 1, 100}));
}

TEST_F(FlashRecordedTest, ProgramByteIsTheCommandThenPollingInReadMode) {
  port_->answers = {0x5A};
  EXPECT_EQ(FlashProgramByte(0x12345, 0x5A), 0);
  EXPECT_EQ(Recorded(), Join({kUnlock,
                              WriteCycle(0xAAA, 0xA0),
                              WriteCycle(0x12345, 0x5A),
                              {"W 2 01", "W 2 03", "R 3 5A", "W 2 01", "W 2 00"}}));
  port_->accesses.clear();
  EXPECT_EQ(FlashProgramByte(0x12345, 0xFF), 0);  // erased bytes hold it already
  EXPECT_TRUE(port_->accesses.empty());
}

TEST_F(FlashRecordedTest, PollingEndsOnBit7OrTheTimeLimitFlag) {
  struct Case {
    std::vector<std::uint8_t> statuses;
    int result;
    std::size_t reads;
  };
  const Case cases[] = {
      {{0x5A}, 0, 1},       {{0x80, 0xC0, 0x5A}, 0, 3},  // DATA# and DQ6 toggling while busy
      {{0xA0, 0xA0}, 2, 2},                              // DQ5: one more read, still not done
      {{0xA0, 0x5A}, 0, 2},                              // DQ5 as it completed
      {{0x7F}, 0, 1},                                    // only bit 7 is compared
  };
  for (const Case& c : cases) {
    port_->accesses.clear();
    port_->answers.assign(c.statuses.begin(), c.statuses.end());
    EXPECT_EQ(FlashProgramByte(0x100, 0x5A), c.result);
    EXPECT_EQ(Reads(), c.reads);
  }
}

TEST_F(FlashRecordedTest, BoardThatStopsAnsweringEndsAtTheDeadline) {
  port_->defaultAnswer = 0x80;  // busy forever, never the time-limit flag
  EXPECT_EQ(FlashProgramByte(0x100, 0x5A), 2);
  // 100 ms on a clock that 1 ms passes per access, two accesses a read, and one read more.
  EXPECT_NEAR(static_cast<double>(Reads()), 52.0, 3.0);
  SetFlashDeadlines({100, 10, 20});
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FlashSectorErase(0x40000), 2);
  EXPECT_EQ(FieldText(state.flashFpgaFile0), "UNKNOWN");
  EXPECT_EQ(Transcript(),
            "Sector erase flash at 40000h...\n"
            "-> ERROR: Flash memory sector erase timeout at 40000h\n");
  ClearTranscript();
  EXPECT_EQ(FlashChipErase(), 2);
  EXPECT_EQ(Transcript(), "Chip erase flash ...\n-> ERROR: Flash memory chip erase timeout\n");
}

TEST_F(FlashRecordedTest, SectorEraseNamesOnlyTheSlotItStarts) {
  struct Case {
    std::uint32_t sector;
    int slot;  // index into Slots(), -1 for none
  };
  const Case cases[] = {{0x00000, 2},  {0x10000, 3},  {0x20000, 4},  {0x30000, 5},
                        {0x40000, 0},  {0x50000, -1}, {0x60000, 1},  {0x70000, -1},
                        {0x78000, -1}, {0x7A000, -1}, {0x7C000, -1}, {0x40001, -1}};
  port_->defaultAnswer = 0xFF;  // erase complete at once
  for (const Case& c : cases) {
    for (FileNameField* slot : Slots()) SetField(*slot, "/x.bin");
    port_->accesses.clear();
    EXPECT_EQ(FlashSectorErase(c.sector), 0);
    std::vector<std::string> expected(6, "/x.bin");
    if (c.slot >= 0) expected[static_cast<std::size_t>(c.slot)] = "ERASED";
    EXPECT_EQ(SlotNames(), expected) << std::hex << c.sector;
    const Cycles cycles = Recorded();
    const Cycles command =
        Join({kUnlock, WriteCycle(0xAAA, 0x80), kUnlock, WriteCycle(c.sector, 0x30)});
    ASSERT_GE(cycles.size(), kReset.size() + command.size());
    EXPECT_TRUE(std::equal(command.begin(), command.end(),
                           cycles.begin() + static_cast<std::ptrdiff_t>(kReset.size())));
  }
}

TEST_F(FlashRecordedTest, ProgramRecordsTheNameByEndAddress) {
  const std::string file = Directory() + "blank.bin";
  testing::WriteWholeFile(file, std::string(40, '\xFF'));
  port_->defaultAnswer = 0xFF;  // verification reads the erased bytes
  struct Case {
    std::uint32_t start, end;
    std::vector<int> slots;
  };
  const Case cases[] = {{0x00000, 0x0FFFF, {2}}, {0x00000, 0x0FFFE, {}},
                        {0x10000, 0x1FFFF, {3}}, {0x20000, 0x2FFFF, {4}},
                        {0x35555, 0x3FFFF, {5}}, {0x40000, 0x5FFFF, {0}},
                        {0x60000, 0x77FFF, {1}}, {0x00000, 0x7BFFF, {0, 1, 2, 3, 4, 5}}};
  for (const Case& c : cases) {
    for (FileNameField* slot : Slots()) SetField(*slot, "UNKNOWN");
    port_->accesses.clear();
    EXPECT_EQ(FlashProgram(file.c_str(), c.start, c.end, 0, 1, 0), 0);
    std::vector<std::string> expected(6, "UNKNOWN");
    for (int slot : c.slots) expected[static_cast<std::size_t>(slot)] = file;
    EXPECT_EQ(SlotNames(), expected) << std::hex << c.end;
    // Only erased bytes: no program command at all.
    const Cycles cycles = Recorded();
    EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 A0"), 0);
  }
  // Without verification nothing is recorded.
  SetField(state.flashCpuFile0, "UNKNOWN");
  EXPECT_EQ(FlashProgram(file.c_str(), 0, 0x0FFFF, 0, 0, 0), 0);
  EXPECT_EQ(FieldText(state.flashCpuFile0), "UNKNOWN");
}

TEST_F(FlashRecordedTest, TranscriptOfAVerifiedProgram) {
  const std::string file = Directory() + "blank.bin";
  testing::WriteWholeFile(file, std::string(40000, '\xFF'));
  port_->defaultAnswer = 0xFF;
  EXPECT_EQ(FlashProgram(file.c_str(), 0x10000, 0x1FFFF, 0, 1, 0), 0);
  EXPECT_EQ(Transcript(), "Program flash starting at 10000h with file '" + file +
                              "'..\n-> verify flash ..\n-> flash program done\n");
}

TEST_F(FlashRecordedTest, ProgramOfAFileThatCannotBeReadTouchesNoByte) {
  struct Case {
    const char* name;
    std::function<std::string()> arrange;
  };
  const Case cases[] = {
      {"missing", [this] { return Directory() + "missing.bin"; }},
      {"directory",
       [this] {
         std::filesystem::create_directory(Directory() + "d.bin");
         return Directory() + "d.bin";
       }},
      {"read_error",
       [this] {
         testing::WriteWholeFile(Directory() + "r.bin", "\x01\x02");
         testing::InstallFaultyFiles()->failRead = true;
         return Directory() + "r.bin";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.arrange();
    ClearTranscript();
    port_->accesses.clear();
    EXPECT_EQ(FlashProgram(file.c_str(), 0, 0x0FFFF, 0, 1, 0), 1);
    EXPECT_EQ(Transcript(), "Program flash starting at 0h with file '" + file +
                                "'\n-> ERROR: Could not open file '" + file + "'\n");
    const Cycles cycles = Recorded();
    EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 A0"), 0);
    EXPECT_EQ(FieldText(state.flashCpuFile0), "UNKNOWN");
    ClearTranscript();
    EXPECT_EQ(FlashVerify(file.c_str(), 0, 0x0FFFF, 0, 0), 1);
    EXPECT_EQ(Transcript(), "-> verify flash \n");
    platform::overrideFileSystem(nullptr);
  }
}

TEST_F(FlashRecordedTest, RangeWithNothingToDoIsRefusedUntouched) {
  const std::string file = Directory() + "data.bin";
  testing::WriteWholeFile(file, "\x12\x34");
  const std::string saved = Directory() + "saved.rom";
  struct Case {
    const char* name;
    std::uint32_t start, end, offset;
    std::string line;
  };
  const Case cases[] = {
      {"start_after_end", 0x10000, 0x0FFFF, 0,
       "-> ERROR: empty flash range 10000h-FFFFh, nothing done\n"},
      {"beyond_the_chip", 0x80000, 0x8FFFF, 0,
       "-> ERROR: flash range 80000h-8FFFFh lies beyond the flash memory (0h-7FFFFh), nothing "
       "done\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port_->accesses.clear();
    ClearTranscript();
    EXPECT_EQ(FlashProgram(file.c_str(), c.start, c.end, 0, 1, 0), 1);
    EXPECT_EQ(FlashVerify(file.c_str(), c.start, c.end, 0, 0), 1);
    EXPECT_EQ(FlashRead2File(saved.c_str(), c.start, c.end), 1);
    EXPECT_EQ(Transcript(), c.line + c.line + c.line);
    EXPECT_TRUE(port_->accesses.empty());
    EXPECT_FALSE(std::filesystem::exists(saved));
  }
  ClearTranscript();
  EXPECT_EQ(FlashProgram(file.c_str(), 0, 0x0FFFF, 2, 1, 0), 1);  // the offset is the file's end
  EXPECT_EQ(Transcript(), "Program flash starting at 0h with file '" + file +
                              "'\n-> ERROR: file '" + file + "' holds no data from offset 2h on\n");
  const Cycles cycles = Recorded();
  EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 A0"), 0);
  EXPECT_EQ(SlotNames(), std::vector<std::string>(6, "UNKNOWN"));
}

TEST_F(FlashRecordedTest, NameTooLongForItsFieldIsRecordedAsUnknown) {
  const std::string file = Directory() + std::string(270 - Directory().size(), 'n');
  testing::WriteWholeFile(file, "\xFF");
  port_->defaultAnswer = 0xFF;
  SetField(state.flashCpuFile1, "/old.bin");
  EXPECT_EQ(FlashProgram(file.c_str(), 0x10000, 0x1FFFF, 0, 1, 0), 0);
  EXPECT_EQ(FieldText(state.flashCpuFile1), "UNKNOWN");
}

TEST_F(FlashRecordedTest, SequentialReadsWriteOnlyTheAddressBytesThatChange) {
  const std::string file = Directory() + "save.rom";
  port_->defaultAnswer = 0x42;
  EXPECT_EQ(FlashRead2File(file.c_str(), 0x0FFFE, 0x10001), 0);
  const Cycles cycles = Recorded();
  const Cycles reads(cycles.begin() + static_cast<std::ptrdiff_t>(kReset.size()), cycles.end());
  EXPECT_EQ(reads, (Cycles{"W 2 01", "W 2 03", "W 4 FE", "W 5 FF", "W 6 00", "R 3 42", "W 4 FF",
                           "R 3 42", "W 4 00", "W 5 00", "W 6 01", "R 3 42", "W 4 01", "R 3 42",
                           "W 2 01", "W 2 00"}));
  EXPECT_EQ(testing::ReadWholeFile(file), "BBBB");
  EXPECT_EQ(Transcript(), "Save flash to file: '" + file + "' \n -> done\n");
}

TEST_F(FlashRecordedTest, RangePastTheChipIsCutAtItsEndAndNeverWraps) {
  const std::string file = Directory() + "top.rom";
  EXPECT_EQ(FlashRead2File(file.c_str(), 0x7FFFE, 0xFFFFFFFF), 0);
  EXPECT_EQ(testing::ReadWholeFile(file).size(), 2u);
  EXPECT_EQ(
      Transcript().rfind("-> WARNING: flash range 7FFFEh-FFFFFFFFh cut at the end of the flash "
                         "memory, 7FFFFh\nSave flash",
                         0),
      0u);
  const std::string data = Directory() + "data.bin";
  testing::WriteWholeFile(data, std::string(64, '\x12'));
  port_->defaultAnswer = 0x12;
  port_->accesses.clear();
  EXPECT_EQ(FlashProgram(data.c_str(), 0x7FFF0, 0xFFFFFFFF, 0, 1, 0), 0);
  const Cycles cycles = Recorded();
  EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 A0"), 16);
}

TEST_F(FlashRecordedTest, RangeOfTheChipsLastByteReadsAndPrograms) {
  const std::string file = Directory() + "last.rom";
  port_->defaultAnswer = 0x5A;
  EXPECT_EQ(FlashRead2File(file.c_str(), 0x7FFFF, 0x7FFFF), 0);
  EXPECT_EQ(testing::ReadWholeFile(file), "Z");
  port_->accesses.clear();
  EXPECT_EQ(FlashProgram(file.c_str(), 0x7FFFF, 0x7FFFF, 0, 1, 0), 0);
  const Cycles cycles = Recorded();
  const Cycles command = Join({kUnlock, WriteCycle(0xAAA, 0xA0), WriteCycle(0x7FFFF, 0x5A)});
  EXPECT_NE(std::search(cycles.begin(), cycles.end(), command.begin(), command.end()),
            cycles.end());
}

TEST_F(FlashRecordedTest, SaveThatCannotBeWrittenSaysSo) {
  const std::string file = Directory() + "full.rom";
  testing::WriteWholeFile(file, "saved before");
  testing::InstallFaultyFiles()->failWriteAfterBytes = 1000;
  EXPECT_EQ(FlashRead2File(file.c_str(), 0, 0x1FFFF), 1);
  // The first 64 KB are read, then their write fails and the save stops.
  EXPECT_EQ(Transcript(), "Save flash to file: '" + file +
                              "' ....\n-> ERROR: Could not write file '" + file + "'\n");
  // The earlier save is kept whole, and nothing is left beside it.
  EXPECT_EQ(testing::ReadWholeFile(file), "saved before");
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Directory()))
    entries += entry.path().filename().string().rfind("full.rom", 0) == 0 ? 1 : 0;
  EXPECT_EQ(entries, 1u);
  ClearTranscript();
  platform::overrideFileSystem(nullptr);
  const std::string fifo = Directory() + "fifo.rom";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no reader: an open for writing would block
  // A device is no file to save into, though it opens for writing: /dev/null would swallow it.
  // Each is refused before the flash is read.
  const std::string devNull = "/dev/null";
  for (const std::string& nowhere : {Directory() + "no/such/dir.rom", fifo, devNull}) {
    ClearTranscript();
    port_->accesses.clear();
    EXPECT_EQ(FlashRead2File(nowhere.c_str(), 0, 15), 1);
    EXPECT_EQ(Reads(), 0u) << nowhere;
    EXPECT_EQ(Transcript(), "Save flash to file: '" + nowhere +
                                "' \n-> ERROR: Could not write file '" + nowhere + "'\n");
  }
}

TEST_F(FlashRecordedTest, SaveReplacesTheFileALinkNamesAndKeepsItsPermissions) {
  namespace fs = std::filesystem;
  const std::string real = Directory() + "real.rom";
  const std::string link = Directory() + "link.rom";
  testing::WriteWholeFile(real, "old");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, link);
  port_->defaultAnswer = 0x42;
  EXPECT_EQ(FlashRead2File(link.c_str(), 0, 3), 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(testing::ReadWholeFile(real), "BBBB");
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FlashRecordedTest, FileOffsetSkipsTheFirstBytes) {
  const std::string file = Directory() + "offset.bin";
  testing::WriteWholeFile(file, std::string("\x01\x02\x03", 3));
  port_->defaultAnswer = 0x03;  // every poll and verify read sees the byte at offset 2
  EXPECT_EQ(FlashProgram(file.c_str(), 0x20000, 0x2FFFF, 2, 1, 0), 0);
  const Cycles cycles = Recorded();
  EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 03"), 1);
  EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 01"), 0);
  EXPECT_EQ(FieldText(state.flashCpuFile2), file);
}

TEST_F(FlashRecordedTest, ReversedBitsForFpgaSlots) {
  const std::string file = Directory() + "one.bit";
  testing::WriteWholeFile(file, "\x01");
  port_->defaultAnswer = 0x80;
  EXPECT_EQ(FlashProgram(file.c_str(), 0x40000, 0x5FFFF, 0, 1, 1), 0);
  const Cycles cycles = Recorded();
  EXPECT_EQ(std::count(cycles.begin(), cycles.end(), "W 3 80"), 1);
  EXPECT_EQ(FieldText(state.flashFpgaFile0), file);
}

}  // namespace
}  // namespace omrix
