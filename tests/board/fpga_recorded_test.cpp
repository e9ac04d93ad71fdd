// What FpgaConfig puts on the port, access by access, and what it records.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "board/fpga.h"
#include "core/text.h"
#include "setup/setup_data.h"
#include "board/board_fixture.h"

namespace omrix {
namespace {

using testing::PortAccess;

constexpr std::uint32_t kData = 0x378, kControl = 0x37A;
PortAccess O(std::uint32_t port, std::uint8_t value) { return {'o', port, value}; }

const std::vector<PortAccess> kConfigurationAccess = {O(kControl, 0x00), O(kData, 0x02),
                                                      O(kControl, 0x0B)};
const std::vector<PortAccess> kProgramPulse = {O(kData, 0x02), O(kData, 0x00), O(kData, 0x02)};

std::vector<PortAccess> Concat(std::initializer_list<std::vector<PortAccess>> parts) {
  std::vector<PortAccess> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<PortAccess> Head(const std::vector<PortAccess>& accesses, std::size_t count) {
  return {accesses.begin(), accesses.begin() + static_cast<std::ptrdiff_t>(std::min(count, accesses.size()))};
}

class FpgaRecordedTest : public testing::RecordedBoardTest {
 protected:
  void SetUp() override {
    RecordedBoardTest::SetUp();
    state.PPcontrol = 0x44;  // EPP: the bus cycles are short and easy to tell apart
    SetField(state.setupFpgaFile, "setup.bit");
    SetField(state.fpgaConfigFile, "CLEAR");
  }
  std::string Write(const std::string& name, const std::string& content) {
    testing::WriteWholeFile(Directory() + name, content);
    return Directory() + name;
  }
};

TEST_F(FpgaRecordedTest, ViaPcClocksEveryBitMsbFirstAndNothingElse) {
  const std::string path = Write("two.bit", std::string("\xA5\x01", 2));
  port_->defaultAnswer = 0x00;  // ConfigRegister never follows: no register
  EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), kFpgaNoConfigRegister);
  std::vector<PortAccess> bits;
  for (int byte : {0xA5, 0x01})
    for (int bit = 7; bit >= 0; --bit) {
      const auto din = static_cast<std::uint8_t>((byte >> bit) & 1);
      bits.push_back(O(kData, static_cast<std::uint8_t>(din | 0x02)));
      bits.push_back(O(kData, static_cast<std::uint8_t>(din | 0x06)));
    }
  const auto expected = Concat({kConfigurationAccess, kProgramPulse, bits,
                                {O(kControl, 0x00), O(kData, 0x00)}});
  EXPECT_EQ(Head(port_->accesses, expected.size()), expected);
  EXPECT_EQ(port_->sleeps, std::vector<std::uint32_t>{1});
  EXPECT_EQ(Transcript(), "Configure FPGA via PC with file: '" + path +
                              "' ...\n-> done, implementation of config register could not be "
                              "detected\n");
  EXPECT_EQ(FieldText(state.loadedFpgaFile), path);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), path);
}

TEST_F(FpgaRecordedTest, MissingFileLeavesTheFpgaClearedAndForgetsTheLoadedName) {
  SetField(state.loadedFpgaFile, "setup.bit");
  const std::string path = Directory() + "missing.bit";
  EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), kFpgaFileError);
  EXPECT_EQ(port_->accesses, Concat({kConfigurationAccess, kProgramPulse}));
  EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + path + "' not found\n");
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "");
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
}

TEST_F(FpgaRecordedTest, OnlyRegularFilesAreConfigurations) {
  std::filesystem::create_directory(Directory() + "dir.bit");
  ASSERT_EQ(mkfifo((Directory() + "fifo.bit").c_str(), 0600), 0);
  for (const char* name : {"dir.bit", "fifo.bit"}) {
    ClearTranscript();
    EXPECT_EQ(FpgaConfig(name, 0, 1), kFpgaFileError) << name;
    EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + Directory() + name + "' not found\n");
  }
}

TEST_F(FpgaRecordedTest, ClearAndFlashAreMatchedByFileNamePartInAnyCase) {
  struct Case {
    const char* source;
    std::int32_t fullPath;
    std::int32_t expected;
    const char* message;
  };
  const Case cases[] = {
      {"clear", 0, kFpgaCleared, "FPGA configuration cleared, CPU disabled\n"},
      {"C:\\designs\\Clear", 1, kFpgaCleared, "FPGA configuration cleared, CPU disabled\n"},
      {"/home/lab/CLEAR", 1, kFpgaCleared, "FPGA configuration cleared, CPU disabled\n"},
      {"FLASH", 0, kFpgaNoConfigRegister,
       "FPGA configured via flash\n-> done, implementation of config register could not be "
       "detected\n"},
      {"/x/y/flash", 1, kFpgaNoConfigRegister,
       "FPGA configured via flash\n-> done, implementation of config register could not be "
       "detected\n"},
  };
  port_->defaultAnswer = 0x00;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ClearTranscript();
    EXPECT_EQ(FpgaConfig(c.source, c.fullPath, 1), c.expected);
    EXPECT_EQ(Transcript(), c.message);
    EXPECT_EQ(FieldText(state.loadedFpgaFile), c.source);
    EXPECT_EQ(FieldText(state.fpgaConfigFile), c.source);
  }
}

TEST_F(FpgaRecordedTest, ClearAndFlashSequences) {
  FpgaConfig("CLEAR", 0, 0);
  EXPECT_EQ(port_->accesses, Concat({kConfigurationAccess,
                                     {O(0x37B, 0x00), O(0x37C, 0x01)},
                                     {O(kControl, 0x00), O(kData, 0x00), O(kControl, 0x0B)}}));
  port_->accesses.clear();
  port_->defaultAnswer = 0x00;
  FpgaConfig("FLASH", 0, 0);
  const auto expected = Concat({kConfigurationAccess,
                                {O(0x37B, 0x00), O(0x37C, 0x01)},
                                {O(kControl, 0x00), O(kData, 0x02), O(kControl, 0x0B),
                                 O(kData, 0x00), O(kControl, 0x00)},
                                // SendTransferMode in EPP: once as SPP, once as EPP
                                {O(kData, 0), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 4),
                                 O(kControl, 0x05), O(kControl, 0x04), O(0x37B, 0), O(0x37C, 4)}});
  EXPECT_EQ(Head(port_->accesses, expected.size()), expected);
  EXPECT_EQ(port_->sleeps, std::vector<std::uint32_t>{35});
}

TEST_F(FpgaRecordedTest, FlashBitIsAFileNotTheFlash) {
  EXPECT_EQ(FpgaConfig("flash.bit", 0, 1), kFpgaFileError);
  EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + Directory() + "flash.bit' not found\n");
}

TEST_F(FpgaRecordedTest, EmptyFileClocksNothingAndTheCheckDecides) {
  Write("empty.bit", "");
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FpgaConfig("empty.bit", 0, 0), kFpgaNoConfigRegister);
  const auto expected =
      Concat({kConfigurationAccess, kProgramPulse, {O(kControl, 0x00), O(kData, 0x00)}});
  EXPECT_EQ(Head(port_->accesses, expected.size()), expected);
  EXPECT_EQ(Transcript().rfind("Configure FPGA via PC with file: '", 0), 0u);
}

TEST_F(FpgaRecordedTest, BareNameAsFullPathLiesInTheLibraryDirectory) {
  Write("demo.bit", "x");
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FpgaConfig("demo.bit", 1, 1), kFpgaNoConfigRegister);
  EXPECT_NE(Transcript().find("'" + Directory() + "demo.bit'"), std::string::npos);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "demo.bit");  // recorded as passed
}

TEST_F(FpgaRecordedTest, SourceTooLongIsNeverRecordedCut) {
  const std::string longPath = "/" + std::string(300, 'l') + "/x.bit";
  EXPECT_EQ(FpgaConfig(longPath.c_str(), 1, 1), kFpgaFileError);
  EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + longPath + "' not found\n");
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
  const std::string longName(259 - Directory().size() + 1, 'n');
  ClearTranscript();
  EXPECT_EQ(FpgaConfig(longName.c_str(), 0, 1), kFpgaFileError);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
}

TEST_F(FpgaRecordedTest, SetupConfigurationWithoutRegisterReleasesTheDevice) {
  testing::WriteWholeFile(Directory() + "omrix.dat", "");  // the rewrite finds it corrupt
  Write("setup.bit", "x");
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FpgaConfig("setup.bit", 0, 0), kFpgaDeviceNotDetected);
  EXPECT_EQ(state.portBase, kNoDevice);
  EXPECT_NE(Transcript().find("-> ERROR: could not detect device --> enter FILE SETUP ...\n"),
            std::string::npos);
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "setup.bit");
}

TEST_F(FpgaRecordedTest, SwitchingSkipsWhatIsAlreadyLoaded) {
  Write("SETUP.BIT", "x");
  port_->defaultAnswer = 0x00;
  SetField(state.setupFpgaFile, "SETUP.BIT");
  SetField(state.loadedFpgaFile, "setup.bit");  // compared without case
  EXPECT_EQ(FpgaCfgForSetup(1, 0), 0);
  EXPECT_TRUE(port_->accesses.empty());
  SetField(state.loadedFpgaFile, "/lib/setup.bit");  // whole texts, not file-name parts
  EXPECT_NE(FpgaCfgForSetup(1, 0), 0);
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "SETUP.BIT");
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");  // not recorded as run configuration

  port_->accesses.clear();
  EXPECT_EQ(FpgaCfgForSetup(0, 0), kFpgaCleared);  // the run configuration is CLEAR
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "CLEAR");
  port_->accesses.clear();
  EXPECT_EQ(FpgaCfgForSetup(0, 0), 0);
  EXPECT_TRUE(port_->accesses.empty());
  EXPECT_EQ(FpgaCfgForSetup(0, 1), kFpgaCleared);  // forced
}

TEST_F(FpgaRecordedTest, DeInitialisationPutsTheLinesAtRest) {
  testing::WriteWholeFile(Directory() + "omrix.dat", "");  // the rewrite fails, the lines do not
  state.PPcontrol = 0x54;                                   // EPP with the IRQ enabled
  DeInitOmrix(0);
  EXPECT_EQ(port_->accesses,
            (std::vector<PortAccess>{O(kControl, 0x44), O(0x37B, 0x00), O(0x37C, 0x01),
                                     O(kControl, 0x00), O(kData, 0x00), O(kControl, 0x0B)}));
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  port_->accesses.clear();
  state.PPcontrol = 0x54;
  DeInitOmrix(2);  // nothing on the mm-bus
  EXPECT_EQ(port_->accesses,
            (std::vector<PortAccess>{O(kControl, 0x44), O(kControl, 0x04), O(kData, 0x00)}));
}

}  // namespace
}  // namespace omrix
