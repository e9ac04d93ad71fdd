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
// The shortest file the library takes for a configuration: the sync word alone.
const std::string kSyncWord("\xAA\x99\x55\x66", 4);

// A .bit file around `stream`: preamble, fields a to d, field e with the stream's length.
const std::string kBitHeader =
    std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01", 13) + std::string(
                                                                                  "a\x00\x02x\x00"
                                                                                  "b\x00\x02y\x00"
                                                                                  "c\x00\x01\x00"
                                                                                  "d\x00\x01\x00",
                                                                                  18);
// The header with field e's key and length.
const std::size_t kBitHeaderSize = kBitHeader.size() + 5;
std::string BitFile(const std::string& stream) {
  std::string length;
  for (int shift = 24; shift >= 0; shift -= 8)
    length += static_cast<char>((stream.size() >> shift) & 0xFF);
  return kBitHeader + "e" + length + stream;
}

std::vector<PortAccess> Concat(std::initializer_list<std::vector<PortAccess>> parts) {
  std::vector<PortAccess> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<PortAccess> Head(const std::vector<PortAccess>& accesses, std::size_t count) {
  return {accesses.begin(),
          accesses.begin() + static_cast<std::ptrdiff_t>(std::min(count, accesses.size()))};
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
  const std::string path = Write("sync.bit", kSyncWord);
  port_->defaultAnswer = 0x00;  // ConfigRegister never follows: no register
  EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), OMRIX_FPGA_NO_CONFIG_REGISTER);
  std::vector<PortAccess> bits;
  for (int byte : {0xAA, 0x99, 0x55, 0x66})
    for (int bit = 7; bit >= 0; --bit) {
      const auto din = static_cast<std::uint8_t>((byte >> bit) & 1);
      bits.push_back(O(kData, static_cast<std::uint8_t>(din | 0x02)));
      bits.push_back(O(kData, static_cast<std::uint8_t>(din | 0x06)));
    }
  const auto expected =
      Concat({kConfigurationAccess, kProgramPulse, bits, {O(kControl, 0x00), O(kData, 0x00)}});
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
  EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), OMRIX_FPGA_FILE_ERROR);
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
    EXPECT_EQ(FpgaConfig(name, 0, 1), OMRIX_FPGA_FILE_ERROR) << name;
    EXPECT_EQ(Transcript(),
              "ERROR: FPGA configuration file '" + Directory() + name + "' not found\n");
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
      {"clear", 0, OMRIX_FPGA_CLEARED, "FPGA configuration cleared, CPU disabled\n"},
      {"C:\\designs\\Clear", 1, OMRIX_FPGA_CLEARED, "FPGA configuration cleared, CPU disabled\n"},
      {"/home/lab/CLEAR", 1, OMRIX_FPGA_CLEARED, "FPGA configuration cleared, CPU disabled\n"},
      {"FLASH", 0, OMRIX_FPGA_NO_CONFIG_REGISTER,
       "FPGA configured via flash\n-> done, implementation of config register could not be "
       "detected\n"},
      {"/x/y/flash", 1, OMRIX_FPGA_NO_CONFIG_REGISTER,
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
  const auto expected = Concat(
      {kConfigurationAccess,
       {O(0x37B, 0x00), O(0x37C, 0x01)},
       {O(kControl, 0x00), O(kData, 0x02), O(kControl, 0x0B), O(kData, 0x00), O(kControl, 0x00)},
       // SendTransferMode in EPP: once as SPP, once as EPP
       {O(kData, 0), O(kControl, 0x0C), O(kControl, 0x04), O(kData, 4), O(kControl, 0x05),
        O(kControl, 0x04), O(0x37B, 0), O(0x37C, 4)}});
  EXPECT_EQ(Head(port_->accesses, expected.size()), expected);
  EXPECT_EQ(port_->sleeps, std::vector<std::uint32_t>{35});
}

TEST_F(FpgaRecordedTest, FlashBitIsAFileNotTheFlash) {
  EXPECT_EQ(FpgaConfig("flash.bit", 0, 1), OMRIX_FPGA_FILE_ERROR);
  EXPECT_EQ(Transcript(),
            "ERROR: FPGA configuration file '" + Directory() + "flash.bit' not found\n");
}

TEST_F(FpgaRecordedTest, FileThatIsNoConfigurationIsRefusedBeforeTheFpgaIsTouched) {
  struct Case {
    const char* name;
    std::string content;
    const char* why;
  };
  const Case cases[] = {
      {"empty.bit", "", "holds no configuration, sync word AA 99 55 66 missing"},
      {"program.bin", std::string("\x02\x00\x30\x75\x81\x30\x12\x00", 8),
       "holds no configuration, sync word AA 99 55 66 missing"},
      {"cut.bit", std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01\x61", 14),
       "truncated, its header declares more bytes than the file holds"},
      {"short.bit", BitFile(kSyncWord + std::string(8, '\0')).substr(0, kBitHeaderSize + 6),
       "truncated, its header declares more bytes than the file holds"},
      {"huge.bit", "", "too large, no configuration of this board exceeds 16777216 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.content);
    if (std::string(c.name) == "huge.bit")
      std::filesystem::resize_file(path, kLargestConfigurationFile + 1);  // sparse: never read
    SetField(state.loadedFpgaFile, "demo.bit");
    port_->accesses.clear();
    ClearTranscript();
    EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), OMRIX_FPGA_FILE_ERROR);
    EXPECT_TRUE(port_->accesses.empty());
    EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + path + "' " + c.why + "\n");
    EXPECT_EQ(FieldText(state.loadedFpgaFile), "demo.bit");  // still running
    EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
  }
}

// The check the library and the programs share: a .bit file must hold what its header declares.
TEST(ConfigurationCheck, CutBitFileIsTruncatedWhereverItIsCut) {
  const std::string whole = BitFile(kSyncWord + std::string(8, '\0'));
  std::string foreignKey = whole;
  foreignKey[kBitHeader.size()] = 'x';  // field e under another key: not a layout we read
  std::string hugeLength = whole;
  hugeLength.replace(kBitHeaderSize - 4, 4, "\xFF\xFF\xFF\xFF");
  struct Case {
    const char* name;
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      {"whole", whole, OMRIX_CONFIGURATION_WHOLE},
      {"trailing bytes", whole + "zz", OMRIX_CONFIGURATION_WHOLE},
      {"raw stream", kSyncWord, OMRIX_CONFIGURATION_WHOLE},
      {"raw without sync word", std::string(16, '\xFF'), OMRIX_CONFIGURATION_NO_SYNC_WORD},
      {"stream one byte short", whole.substr(0, whole.size() - 1), OMRIX_CONFIGURATION_TRUNCATED},
      {"cut in field e's length", whole.substr(0, kBitHeaderSize - 2),
       OMRIX_CONFIGURATION_TRUNCATED},
      {"cut in field b", whole.substr(0, 20), OMRIX_CONFIGURATION_TRUNCATED},
      {"preamble only", whole.substr(0, 13), OMRIX_CONFIGURATION_TRUNCATED},
      {"length past any file", hugeLength, OMRIX_CONFIGURATION_TRUNCATED},
      {"another layout", foreignKey, OMRIX_CONFIGURATION_WHOLE},
      {"empty stream", BitFile(""), OMRIX_CONFIGURATION_NO_SYNC_WORD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    EXPECT_EQ(OmrixCheckConfiguration(bytes, c.bytes.size()), c.expected);
  }
}

TEST_F(FpgaRecordedTest, BareNameAsFullPathLiesInTheLibraryDirectory) {
  Write("demo.bit", kSyncWord);
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FpgaConfig("demo.bit", 1, 1), OMRIX_FPGA_NO_CONFIG_REGISTER);
  EXPECT_NE(Transcript().find("'" + Directory() + "demo.bit'"), std::string::npos);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "demo.bit");  // recorded as passed
}

TEST_F(FpgaRecordedTest, SourceTheFileCannotHoldIsNeverRecordedAndLeavesTheFpgaCleared) {
  const std::string longPath = "/" + std::string(300, 'l') + "/x.bit";
  EXPECT_EQ(FpgaConfig(longPath.c_str(), 1, 1), OMRIX_FPGA_FILE_ERROR);
  EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + longPath + "' not found\n");
  EXPECT_EQ(port_->accesses, Concat({kConfigurationAccess, kProgramPulse}));
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
  const std::string longName(259 - Directory().size() + 1, 'n');
  EXPECT_EQ(FpgaConfig(longName.c_str(), 0, 1), OMRIX_FPGA_FILE_ERROR);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");

  // A name that would not read back from "omrix.dat" as written.
  for (const std::string name : {"a\nb.bit", "a //b.bit", "a\t//b.bit", "a.bit "}) {
    SCOPED_TRACE(name);
    std::filesystem::create_directories(std::filesystem::path(Directory() + name).parent_path());
    const std::string path = Write(name, kSyncWord);
    port_->accesses.clear();
    ClearTranscript();
    EXPECT_EQ(FpgaConfig(path.c_str(), 1, 1), OMRIX_FPGA_FILE_ERROR);
    EXPECT_EQ(Transcript(), "ERROR: FPGA configuration file '" + path + "' not found\n");
    EXPECT_EQ(port_->accesses, Concat({kConfigurationAccess, kProgramPulse}));
    EXPECT_EQ(FieldText(state.fpgaConfigFile), "CLEAR");
    port_->defaultAnswer = 0x00;
    // loaded, not recorded
    EXPECT_EQ(FpgaConfig(path.c_str(), 1, 0), OMRIX_FPGA_NO_CONFIG_REGISTER);
  }
}

TEST_F(FpgaRecordedTest, SetupConfigurationWithoutRegisterReleasesTheDevice) {
  testing::WriteWholeFile(Directory() + "omrix.dat", "");  // the rewrite finds it corrupt
  Write("setup.bit", kSyncWord);
  port_->defaultAnswer = 0x00;
  EXPECT_EQ(FpgaConfig("setup.bit", 0, 0), OMRIX_FPGA_DEVICE_NOT_DETECTED);
  EXPECT_EQ(state.portBase, kNoDevice);
  EXPECT_NE(Transcript().find("-> ERROR: could not detect device --> enter FILE SETUP ...\n"),
            std::string::npos);
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "setup.bit");
}

TEST_F(FpgaRecordedTest, SwitchingSkipsWhatIsAlreadyLoaded) {
  Write("SETUP.BIT", kSyncWord);
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
  EXPECT_EQ(FpgaCfgForSetup(0, 0), OMRIX_FPGA_CLEARED);  // the run configuration is CLEAR
  EXPECT_EQ(FieldText(state.loadedFpgaFile), "CLEAR");
  port_->accesses.clear();
  EXPECT_EQ(FpgaCfgForSetup(0, 0), 0);
  EXPECT_TRUE(port_->accesses.empty());
  EXPECT_EQ(FpgaCfgForSetup(0, 1), OMRIX_FPGA_CLEARED);  // forced
}

TEST_F(FpgaRecordedTest, DeInitialisationPutsTheLinesAtRest) {
  testing::WriteWholeFile(Directory() + "omrix.dat", "");  // the rewrite fails, the lines do not
  state.PPcontrol = 0x54;                                  // EPP with the IRQ enabled
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
