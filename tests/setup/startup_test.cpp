// The start-up with the recorded device, and the factory initialisation of a new board.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "board/fpga.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "setup/setup_data.h"
#include "setup/device_setup.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
#include "support/library_fixture.h"
#include "testing/test_files.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

namespace fs = std::filesystem;

const char* const kNotInitialized =
    "-> ERROR: \xB4omrix.dat\xB4 not initialized --> enter FILE SETUP ...\n";
const char* const kNotVerified = "-> INFO: could not verify device identifier code\n";

sim::SimConfig QuickBoard(const std::string& extra = "") {
  return testing::SimBoard("sector_erase_ms=5;chip_erase_ms=20;" + extra);
}

class StartupTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    Start(QuickBoard());
  }
  // A process starting on the board; the board keeps its state in the library directory.
  void Start(const sim::SimConfig& board) {
    testing::ResetLibrary(Directory(), board);
    for (const char* name : {"setup.bit", "demo.bit", "intdlc5.bit", "demo.rom"})
      StageDataFile(name);
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
    ClearTranscript();
  }
  std::string DataPath() const { return Directory() + "omrix.dat"; }
  void WriteRecord(const SetupDataRecord& record) {
    testing::WriteWholeFile(DataPath(), FormatSetupData(record));
  }
  SetupDataRecord File() {
    SetupDataRecord record;
    EXPECT_EQ(ParseSetupData(testing::ReadWholeFile(DataPath()), record), 5);
    return record;
  }
  // A file that records the board at 0x378 with `configuration` and `identifier`.
  SetupDataRecord Recorded(const std::string& configuration, std::uint32_t identifier) {
    SetupDataRecord record;
    record.portBase = 0x378;
    record.fpgaConfigFile = configuration;
    record.PPcontrol = 0x44;
    record.PPwait = 2;
    record.PPirq = 0;
    record.identifier = identifier;
    return record;
  }
  SetupDataRecord FactoryFile(const std::string& initFile, const std::string& image = "NOT_VALID") {
    SetupDataRecord record;
    record.init.initEntryCode = "R3kTBwN";
    record.init.initPortBase = 0x378;
    record.init.initFpgaFile = initFile;
    record.init.manufacturer = "Varnotek";
    record.init.deviceName = "omrix";
    record.init.signatureTester = "line_7";
    record.init.boardTypecode = 17;
    record.init.boardRevision = 4;
    record.init.fpgaType = "XC2S100";
    record.init.serialNumber = 1000;
    record.init.systemImageFile = image;
    return record;
  }
};

TEST_F(StartupTest, WithoutAFileTheDefaultsAreWrittenAndNoDeviceIsRecorded) {
  EXPECT_EQ(InterpreteOmrixDat(), 1);
  EXPECT_EQ(Transcript(), kNotInitialized);
  EXPECT_EQ(testing::ReadLines(DataPath()), FormatSetupData(RecordForNewFile()));
  EXPECT_EQ(IsDeviceInitialized(), 0);
}

TEST_F(StartupTest, CorruptFileIsDeletedAndTheNextStartBeginsAnew) {
  std::string text = FormatSetupData(Recorded("CLEAR", 0));
  text.erase(text.find("#flash_content"));
  testing::WriteWholeFile(DataPath(), text);
  EXPECT_EQ(InterpreteOmrixDat(), 1);
  EXPECT_EQ(
      Transcript(),
      "ERROR: \xB4omrix.dat\xB4 corrupted, file deleted --> enter FILE EXIT and re-run program\n");
  EXPECT_FALSE(fs::exists(DataPath()));
  ClearTranscript();
  EXPECT_EQ(InterpreteOmrixDat(), 1);
  EXPECT_EQ(Transcript(), kNotInitialized);
}

TEST_F(StartupTest, FileThatExistsButCannotBeReadIsNotReplaced) {
  fs::create_directory(DataPath());
  EXPECT_EQ(InterpreteOmrixDat(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_TRUE(fs::is_directory(DataPath()));
}

TEST_F(StartupTest, DefaultFileThatCannotBeWritten) {
  testing::InstallFaultyFiles()->failRename = true;
  EXPECT_EQ(InterpreteOmrixDat(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not write file \xB4omrix.dat\xB4\n");
}

TEST_F(StartupTest, RecordedConfigurationDecidesWhatIsVerified) {
  struct Case {
    const char* name;
    std::string configuration;
    std::uint32_t identifier;
    std::int32_t result;
    bool notVerified;
    bool current;
  };
  const Case cases[] = {
      {"clear", "CLEAR", 1104537600, 0, true, true},
      {"user_file_same_board", Directory() + "demo.bit", 1104537600, 0, false, true},
      {"user_file_other_board", Directory() + "demo.bit", 5, 0, true, true},
      {"missing_file", Directory() + "gone.bit", 1104537600, 2, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteRecord(Recorded(c.configuration, c.identifier));
    ClearTranscript();
    EXPECT_EQ(InterpreteOmrixDat(), c.result);
    const std::string log = Transcript();
    EXPECT_EQ(log.rfind("Initialize device at parallel port address 378h\n", 0), 0u) << log;
    EXPECT_EQ(log.find(kNotVerified) != std::string::npos, c.notVerified) << log;
    EXPECT_EQ(IsDeviceInitialized(), c.current ? 1 : 0);
    EXPECT_EQ(state.PPcontrol, 0x44);
    DeInitOmrix(0);
  }
}

TEST_F(StartupTest, SetupFileByNamePartWithAnotherBoardIsAMismatch) {
  SetupDataRecord record = Recorded(Directory() + "setup.bit", 5);
  record.setupFpgaFile = "SETUP.BIT";
  WriteRecord(record);
  StageDataFile("setup.bit");
  fs::copy_file(Directory() + "setup.bit", Directory() + "SETUP.BIT");
  EXPECT_EQ(InterpreteOmrixDat(), 2);
  EXPECT_NE(Transcript().find("-> ERROR: identifier code mismatch --> enter FILE SETUP ...\n"),
            std::string::npos);
  EXPECT_EQ(IsDeviceInitialized(), 0);
  EXPECT_EQ(File().portBase, 0xFFFFu);
}

TEST_F(StartupTest, RecordedValuesAreMadeSafe) {
  SetupDataRecord record = Recorded("CLEAR", 0);
  record.PPcontrol = 0x4F;  // strobes kept in the shadow
  WriteRecord(record);
  EXPECT_EQ(InterpreteOmrixDat(), 0);
  EXPECT_EQ(state.PPcontrol, 0x44);

  Start(QuickBoard("ports=3bc;board=3bc"));
  record.portBase = 0x3BC;  // EPP would reach outside the granted range
  WriteRecord(record);
  EXPECT_EQ(InterpreteOmrixDat(), 0);
  EXPECT_EQ(state.PPcontrol, 0x04);
  EXPECT_EQ(state.PPwait, 0xFF);

  for (std::uint32_t port : {0u, 0xFFFCu}) {
    record.portBase = port;
    WriteRecord(record);
    ClearTranscript();
    EXPECT_EQ(InterpreteOmrixDat(), 1);
    EXPECT_EQ(Transcript(), kNotInitialized);
    EXPECT_EQ(IsDeviceInitialized(), 0);
  }
}

TEST_F(StartupTest, PortThatCannotBeGrantedKeepsTheRecordedPort) {
  WriteRecord(Recorded("CLEAR", 0));
  sim::SimConfig sameBoard = QuickBoard();
  sameBoard.stateDir = Directory() + "omrix-sim/";
  sim::Simulator otherProcess(sameBoard);
  ASSERT_TRUE(otherProcess.attach());
  EXPECT_EQ(InterpreteOmrixDat(), 2);
  EXPECT_EQ(Transcript(), "-> ERROR: port 378h is in use by another program (library_tests, pid " +
                              std::to_string(getpid()) +
                              ")\n"
                              "Initialize device at parallel port address 378h\n"
                              "-> ERROR: could not detect device --> try again once the port is "
                              "free\n");
  EXPECT_EQ(IsDeviceInitialized(), 0);
  EXPECT_EQ(File().portBase, 0x378u);
}

TEST_F(StartupTest, EntryCodeStartsTheFactoryOnlyAsWritten) {
  const std::pair<const char*, bool> cases[] = {
      {"R3kTBwN", true}, {"R3kTBwN-for-line-7", true}, {"r3ktbwn", false}, {"XR3kTBwN", false}};
  for (const auto& [code, factory] : cases) {
    SCOPED_TRACE(code);
    Start(QuickBoard());
    SetupDataRecord record = FactoryFile("setup.bit");
    record.init.initEntryCode = code;
    WriteRecord(record);
    EXPECT_EQ(InterpreteOmrixDat(), factory ? 8 : 1);
    if (IsDeviceInitialized() != 0) DeInitOmrix(0);
  }
}

TEST_F(StartupTest, FactoryProgramsTheBoardAndAnnouncesTheNextSerialNumber) {
  testing::SetCalendarTime(1234567890);  // Fri Feb 13 23:31:30 2009 UTC
  WriteRecord(FactoryFile("setup.bit"));
  EXPECT_EQ(InterpreteOmrixDat(), 8);
  const std::string log = Transcript();
  EXPECT_NE(log.find("Initialize device identifier codes with \xB4init_data\xB4 section from file "
                     "\xB4omrix.dat\xB4\n"
                     "Initialize device at parallel port address 378h\n"),
            std::string::npos);
  EXPECT_NE(log.find("Device identifier codes programmed,\xB4omrix.dat\xB4 written:\n"
                     "-> manufacturer:       Varnotek\n"
                     "-> device name:        omrix\n"
                     "-> signature tester:   line_7\n"
                     "-> board typecode:     17\n"
                     "-> board revision:     4\n"
                     "-> FPGA type:          XC2S100\n"
                     "-> serial number:      1000\n"
                     "-> date of production: Fri Feb 13 23:31:30 2009\n"),
            std::string::npos)
      << log;
  const auto& flash = testing::Board().flash();
  EXPECT_EQ(flash[0x7FF70], 0xE8);  // 1000, least significant byte first
  EXPECT_EQ(flash[0x7FF71], 0x03);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&flash[0x7FFA0])), "line_7");
  EXPECT_EQ(flash[0x7FFA7], 0xFF);  // after the zero: left erased
  std::string file = testing::ReadLines(DataPath());
  EXPECT_NE(file.find("1001 //DEC serial-number to be programmed\n"), std::string::npos);
  EXPECT_NE(file.find("0 //HEX identifier\n"), std::string::npos);
  EXPECT_EQ(file.rfind("#init_entrycode\nR3kTBwN //ASC"), file.find("#init_entrycode"));

  DeInitOmrix(0);
  file = testing::ReadLines(DataPath());
  EXPECT_NE(file.find("1001 //DEC serial-number\n"), std::string::npos);
  EXPECT_NE(file.find("#init_entrycode\nR3kTBwN //ASC"), std::string::npos);
}

TEST_F(StartupTest, FactoryTextsLongerThanTheirFieldAreProgrammedShort) {
  SetupDataRecord record = FactoryFile("setup.bit");
  record.init.manufacturer = std::string(40, 'M');
  WriteRecord(record);
  EXPECT_EQ(InterpreteOmrixDat(), 8);
  const auto& flash = testing::Board().flash();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&flash[0x7FFE0]), 31), std::string(31, 'M'));
  EXPECT_EQ(flash[0x7FFFF], 0x00);
  EXPECT_NE(Transcript().find("-> manufacturer:       " + std::string(31, 'M') + "\n"),
            std::string::npos);
}

TEST_F(StartupTest, FactorySystemImageStep) {
  struct Case {
    const char* name;
    std::string image;
    std::function<void()> arrange;  // before the start-up
    bool programmed;
  };
  const Case cases[] = {
      {"present", "demo.rom", nullptr, true},
      {"missing", "missing.rom", nullptr, false},
      {"cannot_be_opened", "locked.rom",
       [this] {
         fs::copy_file(Directory() + "demo.rom", Directory() + "locked.rom");
         auto faults = testing::InstallFaultyFiles();
         faults->openPattern = "locked.rom";
         faults->failOpenForReading = true;
       },
       false},
      // The library directory and the image name fit their fields, the two joined do not.
      {"path_too_long", std::string(60, 'i') + ".rom",
       [this] {
         const std::string deep = Directory() + std::string(200, 'd') + "/";
         fs::create_directory(deep);
         fs::copy_file(Directory() + "setup.bit", deep + "setup.bit");
         fs::copy_file(Directory() + "demo.rom", deep + std::string(60, 'i') + ".rom");
         fs::copy_file(DataPath(), deep + "omrix.dat");
         SetField(state.libraryDirectory, deep);
         SetField(state.stateDirectory, deep);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(QuickBoard());
    WriteRecord(FactoryFile("setup.bit", c.image));
    if (c.arrange) c.arrange();
    EXPECT_EQ(InterpreteOmrixDat(), 8);
    const std::string log = Transcript();
    const std::string path = FieldText(state.libraryDirectory) + c.image;
    EXPECT_NE(log.find("Initialize FLASH-memory with SYSTEMiMAGE file: '" + path + "'\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Sector erase flash at 7A000h...\n") != std::string::npos, c.programmed);
    if (c.programmed) {
      EXPECT_NE(log.find("-> flash program done\n"), std::string::npos);
      EXPECT_EQ(FieldText(state.flashCpuFile2), path);
      const std::string rom = testing::ReadWholeFile(path);
      EXPECT_TRUE(
          std::equal(rom.begin(), rom.end(), testing::Board().flash().begin(),
                     [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    } else {
      EXPECT_NE(log.find("-> ERROR: Could not open file '" + path + "'\n"), std::string::npos);
    }
    DeInitOmrix(0);
    platform::overrideFileSystem(nullptr);
  }
}

TEST_F(StartupTest, FactoryVerifyErrorStillRunsTheImageStep) {
  Start(QuickBoard("bad_bit=7FF71:4"));
  WriteRecord(FactoryFile("setup.bit", "missing.rom"));
  EXPECT_EQ(InterpreteOmrixDat(), 4);
  const std::string log = Transcript();
  EXPECT_NE(log.find("ERROR: Device identifier codes not programmed, verify error\n"),
            std::string::npos);
  EXPECT_NE(log.find("Initialize FLASH-memory with SYSTEMiMAGE file:"), std::string::npos);
  EXPECT_EQ(log.find("Device identifier codes programmed,"), std::string::npos);
}

TEST_F(StartupTest, FactoryWithTheJtagPreparation) {
  WriteRecord(FactoryFile("intdlc5.bit"));
  EXPECT_EQ(InterpreteOmrixDat(), 16);
  EXPECT_NE(
      Transcript().find(
          "Device prepared for internal programming via JTAG at parallel-port address 378h\n"),
      std::string::npos);
  EXPECT_EQ(IsDeviceInitialized(), 1);
  fs::remove(Directory() + "intdlc5.bit");  // a missing preparation file ends the same way
  EXPECT_EQ(InterpreteOmrixDat(), 16);
}

TEST_F(StartupTest, FactoryAtAPortThatCannotBeUsed) {
  SetupDataRecord record = FactoryFile("setup.bit");
  record.init.initPortBase = 0xFFFF;
  WriteRecord(record);
  testing::Board().resetAccessCounts();
  EXPECT_EQ(InterpreteOmrixDat(), 2);
  EXPECT_EQ(Transcript(),
            "Initialize device identifier codes with \xB4init_data\xB4 section from file "
            "\xB4omrix.dat\xB4\n"
            "Initialize device at parallel port address FFFFh\n"
            "ERROR: device not found\n");
  EXPECT_EQ(testing::Board().accessCounts().total(), 0u);
}

TEST_F(StartupTest, WholeLifeOfABoard) {
  EXPECT_EQ(InterpreteOmrixDat(), 1);  // no file yet
  ASSERT_EQ(SetupOmrix(0), 0);
  ASSERT_EQ(FpgaConfig((Directory() + "demo.bit").c_str(), 1, 1), 0);  // the run configuration
  EXPECT_EQ(DeInitOmrix(0), 0);
  EXPECT_EQ(HwaccDeInit(), 1);

  Start(QuickBoard());  // the next process, the same board
  EXPECT_EQ(InterpreteOmrixDat(), 0);
  EXPECT_EQ(Transcript().find(kNotVerified), std::string::npos) << Transcript();
  EXPECT_EQ(testing::Board().design(), sim::Design::Demo);
  EXPECT_EQ(IsDeviceInitialized(), 1);
}

}  // namespace
}  // namespace omrix
