// Each menu's commands against the simulated board: the calls they make, in order, and what
// they print and ask.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "command_fixture.h"

namespace omrix::commands::testing {
namespace {

namespace fs = std::filesystem;

using Calls = std::vector<std::string>;

const Calls kBracketStart = {"FpgaCfgForSetup(1, 0)"};
const Calls kBracketEnd = {"FpgaCfgForSetup(0, 0)"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Calls Erases(std::initializer_list<const char*> sectors) {
  Calls calls;
  for (const char* sector : sectors)
    calls.push_back(std::string("FlashSectorErase(") + sector + ")");
  return calls;
}

struct SetupCase {
  const char* name;
  CommandId id;
  const char* call;
  const char* box;  // nullptr: found, no box
};

class SetupItems : public CommandTest, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SetupItems, CallTheSetupAndSayWhereNothingWasFound) {
  const SetupCase& c = GetParam();
  ASSERT_TRUE(commands_->BringUpDriver().succeeded());
  commands_->InterpretSetupData();
  prompts_.boxes.clear();
  calls_.clear();
  EXPECT_EQ(commands_->Run(c.id).succeeded(), c.box == nullptr);
  EXPECT_EQ(calls_, Calls{c.call});
  EXPECT_EQ(prompts_.boxes, c.box ? Calls{c.box} : Calls{});
  EXPECT_EQ(commands_->DeviceInitialized(), c.box == nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Menu, SetupItems,
    ::testing::Values(
        SetupCase{"AutoSetup", ID_SETUP_AUTO, "SetupOmrix(0x0)", nullptr},
        SetupCase{"At378", ID_SETUP_378, "SetupOmrix(0x378)", nullptr},
        SetupCase{"At278", ID_SETUP_278, "SetupOmrix(0x278)", "Device not found at 278h"},
        SetupCase{"At3BC", ID_SETUP_3BC, "SetupOmrix(0x3BC)", "Device not found at 3BCh"},
        SetupCase{"Auxiliary", ID_SETUP_AUX, "SetupOmrix(0x1)", nullptr}),
    [](const ::testing::TestParamInfo<SetupCase>& test) { return std::string(test.param.name); });

struct ProgramCase {
  const char* name;
  CommandId id;
  const char* file;  // staged under this name from demo.*
  const char* stagedFrom;
  Calls work;                   // inside the bracket; "@" in a call is the file's path
  std::int32_t rememberedSlot;  // -1: lastCpuFile unchanged
};

class ProgramItems : public CommandTest, public ::testing::WithParamInterface<ProgramCase> {};

std::string WithPath(std::string call, const std::string& path) {
  const std::size_t at = call.find('@');
  return at == std::string::npos ? call : call.replace(at, 1, path);
}

TEST_P(ProgramItems, EraseAndProgramTheSlotOrStoreABasicProgram) {
  const ProgramCase& c = GetParam();
  SetUpBoard();
  const std::string path = Staged(c.file);
  if (!fs::exists(path)) fs::copy_file(Staged(c.stagedFrom), path);
  prompts_.files.push_back(path);
  EXPECT_TRUE(commands_->Run(c.id).succeeded()) << output_.text_;
  Calls work;
  for (const std::string& call : c.work) work.push_back(WithPath(call, path));
  EXPECT_EQ(calls_, Join({kBracketStart, work, kBracketEnd}));
  if (c.rememberedSlot >= 0) {
    EXPECT_EQ(commands_->lastCpuFile.slot, c.rememberedSlot);
    EXPECT_EQ(commands_->lastCpuFile.path, path);
  } else {
    EXPECT_FALSE(commands_->lastCpuFile.known());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Menu, ProgramItems,
    ::testing::Values(
        ProgramCase{"Fpga0", ID_PROGRAM_FPGA0, "demo.bit", "demo.bit",
                    Join({Erases({"0x40000", "0x50000"}),
                          {"FlashProgram('@', 0x40000, 0x5FFFF, 0, 1, 1)"}}),
                    -1},
        ProgramCase{"Fpga1", ID_PROGRAM_FPGA1, "demo.bit", "demo.bit",
                    Join({Erases({"0x60000", "0x70000"}),
                          {"FlashProgram('@', 0x60000, 0x77FFF, 0, 1, 1)"}}),
                    -1},
        ProgramCase{"Cpu2BinInAnyCase", ID_PROGRAM_CPU2, "demo.Bin", "demo.bin",
                    Join({Erases({"0x20000"}), {"FlashProgram('@', 0x20000, 0x2FFFF, 0, 1, 0)"}}),
                    2},
        ProgramCase{"Cpu2BasicProgram",
                    ID_PROGRAM_CPU2,
                    "hello.b52",
                    "hello.b52",
                    {"BasicFlash('@', 0x20000)"},
                    -1},
        // Anything but .bin goes to the BASIC-52 area, whatever the extension.
        ProgramCase{"Cpu3HexIsNoBinary",
                    ID_PROGRAM_CPU3,
                    "hello.hex",
                    "hello.b52",
                    {"BasicFlash('@', 0x30000)"},
                    -1},
        ProgramCase{"AllErasesTen", ID_PROGRAM_ALL, "demo.rom", "demo.rom",
                    Join({Erases({"0x0", "0x10000", "0x20000", "0x30000", "0x40000", "0x50000",
                                  "0x60000", "0x70000", "0x78000", "0x7A000"}),
                          {"FlashProgram('@', 0x0, 0x7BFFF, 0, 1, 0)"}}),
                    -1}),
    [](const ::testing::TestParamInfo<ProgramCase>& test) { return std::string(test.param.name); });

TEST_F(CommandTest, EraseAllLeavesTheTwoSectorsThatBelongToNoSlot) {
  SetUpBoard();
  EXPECT_TRUE(commands_->Run(ID_ERASE_ALL).succeeded());
  EXPECT_EQ(calls_, Join({kBracketStart,
                          Erases({"0x0", "0x10000", "0x20000", "0x30000", "0x40000", "0x50000",
                                  "0x60000", "0x70000"}),
                          kBracketEnd}));
  EXPECT_EQ(output_.text_.rfind("\n", 0), 0u);  // every command begins with an empty line
}

TEST_F(CommandTest, SaveAlwaysAsksForTheWholeUserSpace) {
  SetUpBoard();
  prompts_.files.push_back(Staged("saved.rom"));
  EXPECT_TRUE(commands_->Run(ID_SAVE_FLASH).succeeded());
  EXPECT_EQ(calls_, Join({kBracketStart,
                          {"FlashRead2File('" + Staged("saved.rom") + "', 0x0, 0x7BFFF)"},
                          kBracketEnd}));
  EXPECT_EQ(fs::file_size(Staged("saved.rom")), 0x7C000u);
  EXPECT_EQ(prompts_.choosers, Calls{"Save flash memory user space"});
}

TEST_F(CommandTest, SetupConfigurationThatFailsEndsTheCommandThere) {
  SetUpBoard();
  fs::remove(Staged("setup.bit"));
  commands_->Run(ID_FPGA_CLEAR);  // so the setup configuration must be loaded again
  calls_.clear();
  const CommandResult result = commands_->Run(ID_ERASE_CPU1);
  EXPECT_EQ(calls_, kBracketStart);  // no erase, no closing call
  ASSERT_FALSE(result.succeeded());
  EXPECT_EQ(result.failure->step, "FpgaCfgForSetup(1, 0)");
  EXPECT_EQ(result.failure->code, 8);
}

TEST_F(CommandTest, CancelledChooserPrintsAndCallsNothing) {
  SetUpBoard();
  for (const CommandId id :
       {ID_PROGRAM_CPU0, ID_PROGRAM_ALL, ID_SAVE_FLASH, ID_FPGA_CONFIG_PC, ID_SAVE_BASIC_RAM}) {
    EXPECT_FALSE(commands_->Run(id).succeeded());
  }
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(output_.text_, "");
  EXPECT_EQ(prompts_.choosers,
            (Calls{"Program flash memory user space CPU file0 (default)",
                   "Program flash memory user space", "Save flash memory user space",
                   "Config FPGA via PC", "Save MCS BASIC-52 program from RAM to disk"}));
}

TEST_F(CommandTest, FileThatCannotGoIntoTheSlotIsRefusedBeforeAnyErase) {
  SetUpBoard();
  std::ofstream(Staged("big.bin"), std::ios::binary) << std::string(0x10001, '\x12');
  // A configuration stream, one byte more than FPGA file1 holds.
  std::ofstream(Staged("big.bit"), std::ios::binary)
      << std::string("\xAA\x99\x55\x66") + std::string(0x18000 - 3, '\0');
  // Half of a .bit file: header whole, stream cut, yet its sync word is there.
  const std::uintmax_t demoSize = fs::file_size(Staged("demo.bit"));
  fs::copy_file(Staged("demo.bit"), Staged("cut.bit"));
  fs::resize_file(Staged("cut.bit"), demoSize / 2);
  fs::create_directory(Staged("dir.bin"));
  const std::string longPath = "/" + std::string(300, 'p') + ".bin";
  struct Case {
    CommandId id;
    std::string path;
    std::string line;
  };
  const Case cases[] = {
      {ID_PROGRAM_CPU1, Staged("gone.bin"),
       "-> ERROR: Could not open file '" + Staged("gone.bin") + "': No such file or directory\n"},
      {ID_PROGRAM_CPU1, Staged("dir.bin"),
       "-> ERROR: Could not open file '" + Staged("dir.bin") + "': Is a directory\n"},
      {ID_PROGRAM_CPU1, Staged("big.bin"),
       "-> ERROR: file '" + Staged("big.bin") +
           "' has 65537 bytes, CPU file1 holds 65536: nothing erased\n"},
      {ID_PROGRAM_CPU1, longPath,
       "-> ERROR: file name longer than 259 bytes: '" + longPath + "'\n"},
      {ID_PROGRAM_FPGA0, Staged("demo.bin"),
       "-> ERROR: file '" + Staged("demo.bin") +
           "' holds no FPGA configuration, sync word AA 99 55 66 missing: nothing erased\n"},
      {ID_PROGRAM_FPGA1, Staged("big.bit"),
       "-> ERROR: file '" + Staged("big.bit") +
           "' has 98305 bytes, FPGA file1 holds 98304: nothing erased\n"},
      {ID_PROGRAM_FPGA1, Staged("cut.bit"),
       "-> ERROR: file '" + Staged("cut.bit") +
           "' is truncated, its header declares more bytes than the file holds: nothing "
           "erased\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    output_.text_.clear();
    prompts_.files.push_back(c.path);
    EXPECT_FALSE(commands_->Run(c.id).succeeded());
    EXPECT_TRUE(calls_.empty());
    ASSERT_GE(output_.text_.size(), c.line.size());
    EXPECT_EQ(output_.text_.substr(output_.text_.size() - c.line.size()), c.line);
    EXPECT_FALSE(commands_->lastCpuFile.known());
  }
}

TEST_F(CommandTest, FpgaAndCpuMenusCallTheLibraryOnly) {
  SetUpBoard();
  prompts_.files.push_back(Staged("demo.bit"));
  const CommandId ids[] = {ID_FPGA_CONFIG_PC, ID_FPGA_CONFIG_FLASH, ID_FPGA_CLEAR, ID_CPU_RUN3,
                           ID_CPU_DISABLE};
  for (const CommandId id : ids) commands_->Run(id);
  EXPECT_EQ(calls_,
            (Calls{"FpgaConfig('" + Staged("demo.bit") + "', 1, 1)", "FpgaConfig('FLASH', 0, 1)",
                   "FpgaConfig('CLEAR', 0, 1)", "CpuRunFile(3)", "CpuReset(1)"}));
}

TEST_F(CommandTest, UpdateCpuRepeatsTheLastBinaryOnlyWhileItStillFits) {
  SetUpBoard();
  EXPECT_FALSE(commands_->Run(ID_UPDATE_CPU).succeeded());
  EXPECT_NE(
      output_.text_.find(
          "ERROR: can\xB4t repeat command, first use 'File - Program flash - CPU fileX ...'\n"),
      std::string::npos);
  EXPECT_TRUE(calls_.empty());

  prompts_.files.push_back(Staged("demo.bin"));
  ASSERT_TRUE(commands_->Run(ID_PROGRAM_CPU2).succeeded());
  prompts_.files.push_back(Staged("hello.b52"));  // a BASIC program is not what UpdateCPU repeats
  commands_->Run(ID_PROGRAM_CPU1);
  calls_.clear();
  output_.text_.clear();
  EXPECT_TRUE(commands_->Run(ID_UPDATE_CPU).succeeded()) << output_.text_;
  const std::size_t programLine =
      output_.text_.find("Program flash memory user space CPU file2 ...\n");
  const std::size_t runLine = output_.text_.find("Run CPU file 2\n");
  EXPECT_LT(programLine, runLine) << output_.text_;
  EXPECT_LT(runLine, output_.text_.find("CPU reset\n", runLine)) << output_.text_;

  std::ofstream(Staged("demo.bin"), std::ios::binary | std::ios::app) << std::string(0x10000, '\0');
  calls_.clear();
  EXPECT_FALSE(commands_->Run(ID_UPDATE_CPU).succeeded());
  EXPECT_TRUE(calls_.empty());  // the slot keeps its program
}

struct UpdateCase {
  CommandId program;
  std::int32_t slot;
  Calls work;  // "@" is the binary's path
};

void PrintTo(const UpdateCase& c, std::ostream* out) { *out << "slot " << c.slot; }

class UpdateCpu : public CommandTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateCpu, ReprogramsExactlyTheSlotOfTheLastBinaryAndRunsIt) {
  const UpdateCase& c = GetParam();
  SetUpBoard();
  prompts_.files.push_back(Staged("demo.bin"));
  ASSERT_TRUE(commands_->Run(c.program).succeeded()) << output_.text_;
  calls_.clear();
  EXPECT_TRUE(commands_->Run(ID_UPDATE_CPU).succeeded()) << output_.text_;
  Calls work;
  for (const std::string& call : c.work) work.push_back(WithPath(call, Staged("demo.bin")));
  EXPECT_EQ(
      calls_,
      Join({kBracketStart, work, kBracketEnd, {"CpuRunFile(" + std::to_string(c.slot) + ")"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Slots, UpdateCpu,
    ::testing::Values(
        UpdateCase{ID_PROGRAM_CPU0,
                   0,
                   {"FlashSectorErase(0x0)", "FlashProgram('@', 0x0, 0xFFFF, 0, 1, 0)"}},
        UpdateCase{ID_PROGRAM_CPU1,
                   1,
                   {"FlashSectorErase(0x10000)", "FlashProgram('@', 0x10000, 0x1FFFF, 0, 1, 0)"}},
        UpdateCase{ID_PROGRAM_CPU2,
                   2,
                   {"FlashSectorErase(0x20000)", "FlashProgram('@', 0x20000, 0x2FFFF, 0, 1, 0)"}},
        UpdateCase{ID_PROGRAM_CPU3,
                   3,
                   {"FlashSectorErase(0x30000)", "FlashProgram('@', 0x30000, 0x3FFFF, 0, 1, 0)"}}),
    [](const ::testing::TestParamInfo<UpdateCase>& test) {
      return "Cpu" + std::to_string(test.param.slot);
    });

TEST_F(CommandTest, UpdateFpgaRestartsTheCpuOnlyAfterABinaryWhileADeviceIsCurrent) {
  SetUpBoard();
  commands_->Run(ID_UPDATE_FPGA);
  EXPECT_EQ(calls_, Calls{"FpgaCfgForSetup(0, 1)"});
  commands_->lastCpuFile = {1, Staged("demo.bin")};
  calls_.clear();
  commands_->Run(ID_UPDATE_FPGA);
  EXPECT_EQ(calls_, (Calls{"FpgaCfgForSetup(0, 1)", "CpuRunFile(1)"}));
  commands_->Run(ID_APP_EXIT);  // the device given up, the driver still there
  ASSERT_FALSE(commands_->DeviceInitialized());
  calls_.clear();
  commands_->Run(ID_UPDATE_FPGA);
  EXPECT_EQ(calls_, Calls{"FpgaCfgForSetup(0, 1)"});
}

TEST_F(CommandTest, TransferRateIsMeasuredInsideTheBracket) {
  SetUpBoard();
  EXPECT_TRUE(commands_->Run(ID_CHECK_TRANSFER_RATE).succeeded());
  EXPECT_EQ(calls_, Join({kBracketStart,
                          {"GetTransferRate(2)", "GetTransferRate(0)", "GetTransferRate(3)",
                           "GetTransferRate(1)"},
                          kBracketEnd}));
  EXPECT_EQ(output_.text_.rfind("\nCheck transfer rates\nPC -> mm-bus: ", 0), 0u) << output_.text_;
}

TEST_F(CommandTest, ExitEndsTheDeviceThenPostsTheShutdown) {
  SetUpBoard();
  EXPECT_EQ(commands_->Run(ID_APP_EXIT).posted, std::vector<CommandId>{ID_SHUTDOWN});
  commands_->Run(ID_SHUTDOWN);
  EXPECT_EQ(calls_, (Calls{"DeInitOmrix(0)", "HwaccDeInit()"}));
}

}  // namespace
}  // namespace omrix::commands::testing
