// Finding the board: the probe, the calibration and SetupOmrix against the simulated board.
#include <gtest/gtest.h>

#include <filesystem>

#include "board/flash.h"
#include "bus/bus.h"
#include "bus/probe.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "setup/setup_data.h"
#include "setup/device_setup.h"
#include "setup/identifier_codes.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"
#include "testing/test_files.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

const char* const kListing =
    "Device identifier codes:\n"
    "-> manufacturer:       Varnotek\n"
    "-> device name:        omrix\n"
    "-> signature tester:   QA bench 2\n"
    "-> board typecode:     17\n"
    "-> board revision:     3\n"
    "-> FPGA type:          XC2S100\n"
    "-> serial number:      4711\n"
    "-> date of production: Sat Jan  1 00:00:00 2005\n";

sim::SimConfig Board(const std::string& text) { return testing::SimBoard(text); }

class DeviceSetupTest : public testing::LibraryTest {
 protected:
  void Start(const sim::SimConfig& board) {
    testing::ResetLibrary(Directory(), board);
    StageDataFile("setup.bit");
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
    ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
    SetField(state.setupFpgaFile, "setup.bit");
    ClearTranscript();
  }
  // The probe alone at `base`.
  std::uint32_t Probe(std::uint16_t base) {
    state.portBase = base;
    EXPECT_EQ(EnablePortAccess(), 1);
    return ProbeDevice("setup.bit");
  }
  SetupDataRecord File() {
    SetupDataRecord record;
    EXPECT_EQ(ParseSetupData(testing::ReadWholeFile(Directory() + "omrix.dat"), record), 5);
    return record;
  }
  static bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
  }
  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++count;
    return count;
  }
};

TEST_F(DeviceSetupTest, SearchFindsTheBoardAtTheThirdPort) {
  Start(Board("ports=3bc,378,278;board=278"));
  EXPECT_EQ(SetupOmrix(0), 0);
  const std::string log = Transcript();
  const std::size_t at3bc = log.find("Setup device at I/O address 3BCh ...\n");
  const std::size_t at378 = log.find("Setup device at I/O address 378h ...\n");
  const std::size_t at278 = log.find("Setup device at I/O address 278h ...\n");
  ASSERT_NE(at3bc, std::string::npos);
  ASSERT_NE(at378, std::string::npos);
  ASSERT_NE(at278, std::string::npos);
  EXPECT_LT(at3bc, at378);
  EXPECT_LT(at378, at278);
  EXPECT_EQ(Count(log.substr(0, at278), "-> device not found\n"), 2u);
  EXPECT_NE(
      log.find(
          "-> device found\n-> \xB4omrix.dat\xB4 written\n-> data transfer EPP (enhanced) mode\n" +
          std::string(kListing) + "Elapsed time since start of setup: "),
      std::string::npos)
      << log;
  EXPECT_TRUE(EndsWith(log, "sec\n-> ready\n"));
  EXPECT_EQ(IsDeviceInitialized(), 1);
  const SetupDataRecord file = File();
  EXPECT_EQ(file.portBase, 0x278u);
  EXPECT_EQ(file.init.initPortBase, 0x278u);
  EXPECT_EQ(file.PPcontrol, 0x44u);
  EXPECT_EQ(file.PPwait, 2u);
  EXPECT_EQ(file.identifier, 1104537600u);
  EXPECT_EQ(file.init.signatureTester, "QA_bench_2");  // reads back as one token
  EXPECT_EQ(file.init.serialNumber, 4711u);
  EXPECT_EQ(file.init.initEntryCode, "NOT_VALID");
}

TEST_F(DeviceSetupTest, SearchWithoutABoardFailsAtEveryPort) {
  Start(Board("ports=3bc,378,278;board=none"));
  EXPECT_EQ(SetupOmrix(0), 2);
  const std::string log = Transcript();
  EXPECT_EQ(Count(log, "-> device not found\n"), 3u);
  EXPECT_EQ(log.find("-> device found\n"), std::string::npos);
  EXPECT_TRUE(EndsWith(log, "sec\n-> setup failed, see messages\n"));
  EXPECT_EQ(IsDeviceInitialized(), 0);
  EXPECT_EQ(File().portBase, 0xFFFFu);
  EXPECT_TRUE(platform::portBackend().granted().empty());
}

TEST_F(DeviceSetupTest, SinglePortLinesArePaddedToThreeDigits) {
  Start(Board("ports=80;board=none"));
  EXPECT_EQ(SetupOmrix(0x80), 2);
  EXPECT_EQ(Transcript().rfind("Setup device at I/O address  80h...\n", 0), 0u) << Transcript();
  EXPECT_EQ(File().portBase, 0xFFFFu);
}

TEST_F(DeviceSetupTest, PortArgumentCountsByItsLow16Bits) {
  Start(Board(""));
  EXPECT_EQ(SetupOmrix(0x10378), 0);
  EXPECT_EQ(state.portBase, 0x378);
}

TEST_F(DeviceSetupTest, AuxiliaryPortIsTakenFromTheFileAtTheCall) {
  Start(Board("ports=278;board=278"));
  SetupDataRecord record;
  record.auxPortBase = 0x278;
  ASSERT_EQ(WriteSetupData(record), 0);
  state.auxPortBase = 0x3BC;
  EXPECT_EQ(SetupOmrix(1), 0);
  EXPECT_EQ(Transcript().rfind("Setup device at I/O address 278h...\n", 0), 0u);
  EXPECT_EQ(File().auxPortBase, 0x278u);
}

TEST_F(DeviceSetupTest, UnusablePortsAreNeverTouched) {
  for (std::uint32_t aux : {0xFFFFu, 0xFFFCu}) {
    SCOPED_TRACE(aux);
    Start(Board(""));
    SetupDataRecord record;
    record.auxPortBase = aux;
    record.portBase = 0x378;
    ASSERT_EQ(WriteSetupData(record), 0);
    testing::Board().resetAccessCounts();
    EXPECT_EQ(SetupOmrix(1), 2);
    EXPECT_NE(Transcript().find("-> device not found\n"), std::string::npos);
    EXPECT_EQ(testing::Board().accessCounts().total(), 0u);
    // FFFF is no device at all, so there is nothing to release and the file stays.
    EXPECT_EQ(File().portBase, aux == 0xFFFF ? 0x378u : 0xFFFFu);
  }
}

TEST_F(DeviceSetupTest, MissingSetupFileIsAFailedSetup) {
  Start(Board(""));
  std::filesystem::remove(Directory() + "setup.bit");
  EXPECT_EQ(SetupOmrix(0x378), 2);
  EXPECT_NE(Transcript().find("ERROR: FPGA configuration file '" + Directory() +
                              "setup.bit' not found\n"),
            std::string::npos);
  EXPECT_EQ(Transcript().find("Device identifier codes:"), std::string::npos);
  EXPECT_EQ(IsDeviceInitialized(), 0);
}

// A setup configuration of CLEAR clears the FPGA: there is no board to read codes from.
TEST_F(DeviceSetupTest, ClearAsTheSetupConfigurationIsAFailedSetup) {
  Start(Board(""));
  SetupDataRecord recorded;
  recorded.setupFpgaFile = "CLEAR";
  recorded.portBase = 0x378;
  ASSERT_EQ(WriteSetupData(recorded), 0);
  EXPECT_EQ(SetupOmrix(0x378), 2);
  EXPECT_NE(Transcript().find("-> device not found\n"), std::string::npos) << Transcript();
  EXPECT_EQ(Transcript().find("Device identifier codes:"), std::string::npos);
  EXPECT_EQ(File().portBase, 0xFFFFu);
  EXPECT_EQ(IsDeviceInitialized(), 0);
}

TEST_F(DeviceSetupTest, FileProblemsComeFirst) {
  Start(Board(""));
  std::filesystem::remove(Directory() + "omrix.dat");
  EXPECT_EQ(SetupOmrix(0), 1);
  EXPECT_EQ(
      Transcript(),
      "\n ERROR: could not open file \xB4omrix.dat\xB4 --> enter FILE EXIT and re-run program\n");
  testing::WriteWholeFile(Directory() + "omrix.dat", "#run_data\n378\n");
  ClearTranscript();
  EXPECT_EQ(SetupOmrix(0), 1);
  EXPECT_EQ(
      Transcript(),
      "ERROR: \xB4omrix.dat\xB4 corrupted, file deleted --> enter FILE EXIT and re-run program\n");
  EXPECT_FALSE(std::filesystem::exists(Directory() + "omrix.dat"));
}

TEST_F(DeviceSetupTest, PortAlreadyGivenBackIsNotReleasedTwice) {
  Start(Board("board=none"));  // the setup configuration finds no register: released at once
  std::string text = testing::ReadWholeFile(Directory() + "omrix.dat");
  text.resize(text.find("#flash_content"));
  testing::WriteWholeFile(Directory() + "omrix.dat", text);
  EXPECT_EQ(SetupOmrix(0x378), 2);
  EXPECT_EQ(Count(Transcript(), "corrupted, file deleted"), 1u);
  EXPECT_EQ(Transcript().find("Could not read file"), std::string::npos) << Transcript();
}

TEST_F(DeviceSetupTest, PortBusyInAnotherProgramKeepsTheRecordedBoard) {
  Start(Board(""));
  ASSERT_EQ(SetupOmrix(0x378), 0);
  ASSERT_EQ(DisablePortAccess(), 1);
  sim::SimConfig sameBoard = testing::Board().config();
  sim::Simulator otherProgram(sameBoard);
  ASSERT_TRUE(otherProgram.attach());
  for (const std::int32_t port : {0x378, 0}) {
    SCOPED_TRACE(port);
    ClearTranscript();
    EXPECT_EQ(SetupOmrix(port), 2);
    // The holder is this test program, which took the board's lock.
    EXPECT_NE(Transcript().find("-> ERROR: port 378h is in use by another program (library_tests, "
                                "pid "),
              std::string::npos)
        << Transcript();
    EXPECT_NE(Transcript().find(")\n-> device not found\n"), std::string::npos) << Transcript();
    EXPECT_EQ(File().portBase, 0x378u);
    EXPECT_EQ(IsDeviceInitialized(), 0);
  }
}

// A board whose lock cannot be had is never driven: two programs could drive it at once.
TEST_F(DeviceSetupTest, BoardThatCannotBeLockedIsRefusedSayingWhy) {
  testing::WriteWholeFile(Directory() + "blocker", "");
  sim::SimConfig board = Board("");
  board.stateDir = Directory() + "blocker/omrix-sim/";  // under a file: no directory, no lock
  Start(board);
  EXPECT_EQ(SetupOmrix(0x378), 2);
  EXPECT_NE(Transcript().find("-> ERROR: port 378h could not be locked against other programs, "
                              "so it is not used: cannot make state directory"),
            std::string::npos)
      << Transcript();
  EXPECT_EQ(Transcript().find("Configure FPGA"), std::string::npos) << Transcript();
}

// A setup run without a start-up before it (omrixctl setup on an existing file) rewrites the
// file with the run configuration and slot names the file recorded; a later setup in the same
// session writes what the session has recorded since.
TEST_F(DeviceSetupTest, SetupWithoutStartUpKeepsTheRecordedValues) {
  struct Case {
    const char* board;
    std::uint32_t port;  // recorded afterwards
  };
  const Case cases[] = {{"", 0x378}, {"board=none", 0xFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.board);
    Start(Board(c.board));
    SetupDataRecord recorded;
    recorded.portBase = 0x378;
    recorded.fpgaConfigFile = "/home/ann/demo.bit";
    recorded.flashSlotNames = {"/f0.bit", "/f1.bit", "/c0.bin", "ERASED", "/c2.bin", "/c3.bin"};
    ASSERT_EQ(WriteSetupData(recorded), 0);
    SetupOmrix(0x378);
    SetupDataRecord file = File();
    EXPECT_EQ(file.portBase, c.port);
    EXPECT_EQ(file.fpgaConfigFile, recorded.fpgaConfigFile);
    EXPECT_EQ(file.flashSlotNames, recorded.flashSlotNames);
    SetField(state.flashCpuFile1, "/new.bin");  // programmed in this session
    SetupOmrix(0x378);
    EXPECT_EQ(File().flashSlotNames[3], "/new.bin");
  }
}

// A port backend that refuses the grant of the listed bases for one reason.
class RefusingPort : public testing::RecordingPort {
 public:
  RefusingPort(std::shared_ptr<testing::DriverWorld> world, std::vector<std::uint32_t> bases,
               platform::GrantRefusal why)
      : RecordingPort(std::move(world)), bases_(std::move(bases)), why_(why) {}

 protected:
  bool grant(const platform::PortRange& range) override {
    if (std::find(bases_.begin(), bases_.end(), range.first) == bases_.end()) return true;
    refuse(why_);
    return false;
  }

 private:
  std::vector<std::uint32_t> bases_;
  platform::GrantRefusal why_;
};

// A failed setup records no device, except when the recorded port could not even be tried for
// a reason that passes: then the file keeps the board for when the port can be had.
TEST(RefusedPortSetup, KeepsTheRecordedBoardOnlyWhenItsPortWasNotTried) {
  using Why = platform::GrantRefusal;
  struct Case {
    const char* name;
    Why why;
    std::vector<std::uint32_t> refused;
    std::int32_t port;
    std::uint32_t recordedAfter;
  };
  const Case cases[] = {
      {"no_port_module", Why::NoPort, {0x378}, 0x378, 0x378},
      {"no_permission", Why::PermissionDenied, {0x378}, 0x378, 0x378},
      {"busy_in_a_search", Why::Busy, {0x378}, 0, 0x378},
      {"search_where_only_the_other_ports_are_missing", Why::NoPort, {0x3BC, 0x278}, 0, 0xFFFF},
      {"search_without_any_port", Why::NoPort, {0x3BC, 0x378, 0x278}, 0, 0x378},
      {"search_where_only_the_recorded_port_is_missing", Why::NoPort, {0x3BC, 0x378}, 0, 0x378},
      {"another_port_missing", Why::NoPort, {0x278}, 0x278, 0xFFFF},
      {"refused_for_no_reason_named", Why::None, {0x378}, 0x378, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TemporaryDirectory directory;
    testing::ResetLibrary(directory.path());
    auto world = std::make_shared<testing::DriverWorld>();
    world->running = true;
    platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world));
    platform::forceNextPortBackend(std::make_unique<RefusingPort>(world, c.refused, c.why));
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(nullptr), 1);
    SetupDataRecord recorded;
    recorded.portBase = 0x378;
    ASSERT_EQ(WriteSetupData(recorded), 0);
    EXPECT_EQ(SetupOmrix(c.port), 2);
    EXPECT_EQ(IsDeviceInitialized(), 0);
    EXPECT_TRUE(platform::portBackend().granted().empty());
    SetupDataRecord file;
    ASSERT_EQ(ParseSetupData(testing::ReadWholeFile(directory.path() + "omrix.dat"), file), 5);
    EXPECT_EQ(file.portBase, c.recordedAfter);
  }
}

TEST_F(DeviceSetupTest, FileThatCannotBeWrittenKeepsTheDevice) {
  Start(Board(""));
  testing::InstallFaultyFiles()->failRename = true;
  EXPECT_EQ(SetupOmrix(0x378), 1);
  EXPECT_TRUE(
      EndsWith(Transcript(), "-> device found\nERROR: Could not write file \xB4omrix.dat\xB4\n"));
  EXPECT_EQ(IsDeviceInitialized(), 1);
}

TEST_F(DeviceSetupTest, RerunGivesTheHeldRangeBackFirst) {
  Start(Board("ports=378,278;board=278"));
  ASSERT_EQ(SetupOmrix(0x278), 0);
  ASSERT_EQ(SetupOmrix(0x278), 0);
  EXPECT_EQ(platform::portBackend().granted().size(), 1u);
}

struct CalibrationCase {
  const char* name;
  const char* board;
  std::uint16_t base;
  std::uint32_t result;
  std::uint8_t control;
  std::uint8_t wait;
};

TEST_F(DeviceSetupTest, CalibrationChoosesTheFastestWorkingModeAndItsSettleCount) {
  const CalibrationCase cases[] = {
      {"epp_clean_from_the_start", "", 0x378, 0x82, 0x44, 2},
      {"ps2_and_spp_both_pass", "epp=", 0x378, 0x62, 0xA4, 2},
      {"slow_board_ps2", "epp=;settle=6;settle_ps2=9", 0x378, 0x62, 0xA4, 11},
      {"slow_board_unidirectional", "epp=;bidir=;settle=6", 0x378, 0x21, 0x04, 8},
      {"port_at_3bc_never_tries_epp", "ports=3bc;board=3bc", 0x3BC, 0x62, 0xA4, 2},
  };
  for (const CalibrationCase& c : cases) {
    SCOPED_TRACE(c.name);
    Start(Board(c.board));
    EXPECT_EQ(Probe(c.base), c.result);
    EXPECT_EQ(state.PPcontrol, c.control);
    EXPECT_EQ(state.PPwait, c.wait);
    EXPECT_EQ(state.PPirq, 0);
    EXPECT_EQ(Transcript().find("-> ERROR"), std::string::npos) << Transcript();
  }
}

TEST_F(DeviceSetupTest, BoardsThatAreNotRightFailTheSetup) {
  struct Case {
    const char* name;
    const char* board;
    const char* message;
  };
  const Case cases[] = {
      {"wrong_typecode", "typecode=18", "-> unknown device connected\n"},
      // The toggle check passes, but no pattern comes back: no mode was tested good.
      {"broken_patterns", "patterns=broken", "-> ERROR: DataTransfer check failed\n"},
      {"no_identifier_block", "erased=1", "-> unknown device connected\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(Board(c.board));
    EXPECT_EQ(SetupOmrix(0x378), 2);
    EXPECT_NE(Transcript().find(c.message), std::string::npos) << Transcript();
    EXPECT_EQ(Transcript().find("-> ready"), std::string::npos);
    EXPECT_EQ(IsDeviceInitialized(), 0);
    EXPECT_EQ(File().portBase, 0xFFFFu);
  }
}

TEST_F(DeviceSetupTest, NoisyBoardFindsFiveCleanRunsOrFailsCleanly) {
  // 1e-6 per answer: most runs of 32767 patterns are clean; 1e-3: none is.
  Start(Board("noise=0.000001;seed=7"));
  EXPECT_EQ(Probe(0x378) & 0x1E0, 0x80u);
  EXPECT_EQ(state.PPcontrol, 0x44);
  Start(Board("noise=0.001;seed=7;epp="));
  const std::uint32_t result = Probe(0x378);
  EXPECT_EQ(result & 0x1E0, 0x100u);  // no mode passed
  EXPECT_EQ(state.PPcontrol, 0x04);
  EXPECT_EQ(state.PPwait, 128);  // 128 runs above the start
  EXPECT_NE(Transcript().find("-> ERROR: DataTransfer check failed\n"), std::string::npos);
}

TEST_F(DeviceSetupTest, NoPortMeansExactly0x400AndNothingConfigured) {
  Start(Board("ports=278;board=278"));
  state.portBase = 0x378;
  EnablePortAccess();
  EXPECT_EQ(ProbeDevice("setup.bit"), 0x400u);
  EXPECT_EQ(Transcript(), "");
}

TEST_F(DeviceSetupTest, PortTypesOfTheProbe) {
  const std::pair<const char*, int> cases[] = {{"", 2}, {"bidir=", 1}, {"ports=278", 0}};
  for (const auto& [board, type] : cases) {
    Start(Board(board));
    state.portBase = 0x378;
    EnablePortAccess();
    EXPECT_EQ(ProbePort(), type) << board;
  }
}

TEST_F(DeviceSetupTest, TransferRate) {
  sim::SimConfig board = Board("access_ns=7812");
  Start(board);
  ASSERT_EQ(SetupOmrix(0x378), 0);
  EXPECT_EQ(GetTransferRate(2, 3, 2, 100), 125u);  // 100 KB, one access each, in 800 ms
  EXPECT_EQ(GetTransferRate(0, 3, 2, 0), 0u);
  EXPECT_EQ(GetTransferRate(0, 3, 2, -5), 0u);
  Start(Board("access_ns=1"));
  ASSERT_EQ(SetupOmrix(0x378), 0);
  EXPECT_EQ(GetTransferRate(3, 3, 2, 1), 1000u);  // within one tick: counted as 1 ms
}

TEST(IdentifierText, ReadsBackAsOneToken) {
  const std::pair<std::string, std::string> cases[] = {{"", "NOT_VALID"},
                                                       {"QA bench 2", "QA_bench_2"},
                                                       {"a\tb\x7F"
                                                        "c",
                                                        "a_b_c"},
                                                       {"\x01\x20", "__"},
                                                       {"Varnotek", "Varnotek"},
                                                       {"\xB4\xE4", "\xB4\xE4"}};
  for (const auto& [text, forFile] : cases) EXPECT_EQ(TextForSetupData(text), forFile);
}

TEST(DateOfProduction, FixedLayoutInLocalTime) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {1104537600u, "Sat Jan  1 00:00:00 2005\n"}, {0u, "Thu Jan  1 00:00:00 1970\n"},
      {2147483648u, "Tue Jan 19 03:14:08 2038\n"},  // after 2038: unsigned
      {4294967294u, "Sun Feb  7 06:28:14 2106\n"}, {0xFFFFFFFFu, "NOT_VALID\n"},  // erased flash
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(DateOfProductionText(seconds), text);
}

}  // namespace
}  // namespace omrix
