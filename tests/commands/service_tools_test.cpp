// The Command menu's service tools on the simulated board: the test routines, the I/O tests
// and the cable emulations, with a scripted person and a clock that only the test moves.
#include <gtest/gtest.h>

#include <filesystem>

#include "command_fixture.h"
#include "testing/test_seams.h"

namespace omrix::commands::testing {
namespace {

using Calls = std::vector<std::string>;
using omrix::testing::Board;

constexpr std::uint16_t kControlRegister = 0x37A;
constexpr std::uint8_t kInitLine = 0x04;
const std::string kSorry = "Sorry, this command is not implemented\n";

class TestRoutinesTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    SetUpBoard();
  }
  std::string Execute(const std::string& text) {
    output_.text_.clear();
    calls_.clear();
    commands_->testRoutines().Execute(text);
    return output_.text_;
  }
};

struct RoutineCase {
  const char* name;
  const char* text;
  std::string answer;  // the empty line after every command included
  Calls calls;
};

class Routines : public TestRoutinesTest, public ::testing::WithParamInterface<RoutineCase> {};

TEST_P(Routines, AnswerEachCommandAndBeepOnlyForWhatTheyDoNotKnow) {
  const RoutineCase& c = GetParam();
  EXPECT_EQ(Execute(c.text), c.answer);
  EXPECT_EQ(calls_, c.calls);
  EXPECT_EQ(prompts_.beeps.size(), c.answer == kSorry + "\n" ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Letters, Routines,
    ::testing::Values(
        RoutineCase{
            "WriteUpperCase", "O 1 FF", "FFh written to address 01h\n\n", {"outbyte(0x1, 0xFF)"}},
        RoutineCase{
            "WriteLowerCase", "o 1 ff", "FFh written to address 01h\n\n", {"outbyte(0x1, 0xFF)"}},
        // Only the low byte reaches the bus; the line shows what was typed.
        RoutineCase{"WriteWideValue",
                    "o 101 0x1ff",
                    "1FFh written to address 101h\n\n",
                    {"outbyte(0x101, 0x1FF)"}},
        RoutineCase{"Nothing", "f", "\n", {}}, RoutineCase{"UnknownX", "x", kSorry + "\n", {}},
        RoutineCase{"UnknownH", "h", kSorry + "\n", {}},
        RoutineCase{"Empty", "", kSorry + "\n", {}},
        RoutineCase{"ReadWithoutAddress", "i", kSorry + "\n", {}},
        RoutineCase{"ReadWithBlankOnly", "i ", kSorry + "\n", {}},
        RoutineCase{"WriteWithoutData", "o 10", kSorry + "\n", {}},
        RoutineCase{"WriteWithBadData", "o 10 zz", kSorry + "\n", {}},
        RoutineCase{"InitWithoutLevel", "s", kSorry + "\n", {}},
        RoutineCase{"ConfigWithoutFile", "c  ", kSorry + "\n", {}}),
    [](const ::testing::TestParamInfo<RoutineCase>& test) { return std::string(test.param.name); });

TEST_F(TestRoutinesTest, WrittenRegisterHoldsTheByte) {
  Execute("o 1 ff");
  EXPECT_EQ(Board().boardRegister(1), 0xFF);
}

TEST_F(TestRoutinesTest, ReadShowsTheLowByteOfWhatTheLibraryReturns) {
  Library library = RecordingLibrary(calls_);
  library.inbyte = [this](std::int32_t address) {
    calls_.push_back("inbyte(" + std::to_string(address) + ")");
    return 0x13C;
  };
  TestRoutines routines(library, output_, prompts_);
  routines.Execute("i 11");
  EXPECT_EQ(output_.text_, "3Ch read from address 11h\n\n");
  EXPECT_EQ(calls_, Calls{"inbyte(17)"});
}

TEST_F(TestRoutinesTest, InitLineFollowsTheLevel) {
  EXPECT_EQ(Execute("s 0"), "Signal PPinit reset, now at low level\n\n");
  EXPECT_EQ(Board().in(kControlRegister)&kInitLine, 0);
  EXPECT_EQ(Execute("S 1"), "Signal PPinit set, now at high level, default setting\n\n");
  EXPECT_EQ(Board().in(kControlRegister)&kInitLine, kInitLine);
}

TEST_F(TestRoutinesTest, AckLineLowIsReportedDisabled) {
  Board().setAck(0);
  EXPECT_EQ(Execute("g"), "Signal PPack is at low level, disabled\n\n");
  Board().setAck(1);
  EXPECT_EQ(Execute("G"), "Signal PPack is at high level, enabled\n\n");
}

TEST_F(TestRoutinesTest, ConfigurationFileNameKeepsItsCase) {
  const std::string path = Staged("Demo.BIT");
  std::filesystem::copy_file(Staged("demo.bit"), path);
  Execute("c " + path);
  EXPECT_EQ(calls_, Calls{"FpgaConfig('" + path + "', 1, 1)"});
  EXPECT_EQ(Board().design(), sim::Design::Demo);
}

TEST_F(TestRoutinesTest, WaitingGoesOnUntilTheStopAndMovesTheBarOncePerTenLines) {
  prompts_.clock.cancelAt = std::chrono::milliseconds(2500);
  const std::string waiting = "nothing happens, just waiting\n";
  std::string expected;
  for (int line = 0; line < 26; ++line) expected += waiting;
  EXPECT_EQ(Execute("@"), expected + "aborted\n\n");
  // 100 ms after each line but the last
  EXPECT_EQ(prompts_.clock.now, std::chrono::milliseconds(2500));
  const std::vector<std::vector<std::size_t>> steps{{10 * waiting.size(), 20 * waiting.size()}};
  EXPECT_EQ(prompts_.barSteps, steps);
  EXPECT_TRUE(calls_.empty());
}

const std::string kFast = "Test connections have to be installed\n\n\nDoes LED 'TEST' flash fast ?";
const std::string kSlow = "Test connections have to be installed\n\n\nDoes LED 'TEST' flash slow ?";

struct IoTestCase {
  const char* name;
  CommandId id;
  std::deque<Answer> answers;
  Calls calls;
  std::vector<std::string> boxes;
  std::vector<sim::TestLed> ledsAsked;  // the TEST LED while each box was open
  std::string verdict;
};

class IoTests : public CommandTest, public ::testing::WithParamInterface<IoTestCase> {};

TEST_P(IoTests, LoadTheSecondDesignOnlyAfterAYesAndEndInTheRunConfiguration) {
  const IoTestCase& c = GetParam();
  for (const char* name :
       {"LIOTESTA.BIT", "LIOTESTB.BIT", "pRAXnodeTestA.BIT", "pRAXnodeTestB.BIT"})
    StageDataFile(name);
  SetUpBoard();
  prompts_.files.push_back(Staged("demo.bit"));
  ASSERT_TRUE(commands_->Run(ID_FPGA_CONFIG_PC).succeeded());  // the run configuration
  calls_.clear();
  std::vector<sim::TestLed> leds;
  prompts_.whileBoxIsOpen = [&leds] { leds.push_back(Board().testLed()); };
  prompts_.answers = c.answers;
  const bool passed = c.verdict.find("OK") != std::string::npos;
  EXPECT_EQ(commands_->Run(c.id).succeeded(), passed);
  EXPECT_EQ(calls_, c.calls);
  EXPECT_EQ(prompts_.boxes, c.boxes);
  EXPECT_EQ(leds, c.ledsAsked);
  EXPECT_NE(output_.text_.find(c.verdict), std::string::npos) << output_.text_;
  EXPECT_EQ(Board().design(), sim::Design::Demo);
  EXPECT_EQ(Board().testLed(), sim::TestLed::Dark);
}

using sim::TestLed;
const std::string kFpgaError = "ERROR: Check FPGA I/O\xB4s";

INSTANTIATE_TEST_SUITE_P(
    Boards, IoTests,
    ::testing::Values(IoTestCase{"NoAtOnce",
                                 ID_TEST_FPGA_IO,
                                 {Answer::No},
                                 {"FpgaConfig('LIOTESTA.BIT', 0, 0)", "FpgaCfgForSetup(0, 0)"},
                                 {kFast, kFpgaError},
                                 {TestLed::FlashingFast, TestLed::FlashingFast},
                                 "-> ERROR: FPGA I/O test failed\n"},
                      IoTestCase{"YesYes",
                                 ID_TEST_FPGA_IO,
                                 {Answer::Yes, Answer::Yes},
                                 {"FpgaConfig('LIOTESTA.BIT', 0, 0)",
                                  "FpgaConfig('LIOTESTB.BIT', 0, 0)", "FpgaCfgForSetup(0, 0)"},
                                 {kFast, kSlow},
                                 {TestLed::FlashingFast, TestLed::FlashingSlow},
                                 "-> FPGA I/O test OK\n"},
                      IoTestCase{
                          "PraxnodeYesNo",
                          ID_TEST_PRAXNODE_IO,
                          {Answer::Yes, Answer::No},
                          {"FpgaConfig('pRAXnodeTestA.BIT', 0, 0)",
                           "FpgaConfig('pRAXnodeTestB.BIT', 0, 0)", "FpgaCfgForSetup(0, 0)"},
                          {kFast, kSlow, "ERROR: Check pRAXnode I/O\xB4s"},
                          {TestLed::FlashingFast, TestLed::FlashingSlow, TestLed::FlashingSlow},
                          "-> ERROR: pRAXnode I/O test failed\n"}),
    [](const ::testing::TestParamInfo<IoTestCase>& test) { return std::string(test.param.name); });

struct EmulationCase {
  const char* name;
  CommandId id;
  const char* design;
  const char* cable;
};

class Emulations : public CommandTest, public ::testing::WithParamInterface<EmulationCase> {};

TEST_P(Emulations, LastWhileTheBoxIsOpenThenAClearedRunConfigurationIsClearedAgain) {
  const EmulationCase& c = GetParam();
  StageDataFile(c.design);
  SetUpBoard();
  ASSERT_TRUE(commands_->Run(ID_FPGA_CLEAR).succeeded());
  calls_.clear();
  output_.text_.clear();
  std::string cableWhileOpen;
  prompts_.whileBoxIsOpen = [&cableWhileOpen] {
    if (const sim::CableEmulation* cable = Board().cableEmulation()) cableWhileOpen = cable->cable;
  };
  EXPECT_TRUE(commands_->Run(c.id).succeeded()) << output_.text_;
  EXPECT_EQ(cableWhileOpen, c.cable);
  EXPECT_EQ(calls_,
            (Calls{std::string("FpgaConfig('") + c.design + "', 0, 0)", "FpgaCfgForSetup(0, 0)"}));
  EXPECT_EQ(Board().design(), sim::Design::None);
  EXPECT_EQ(Board().cableEmulation(), nullptr);
  const std::string cleared = "FPGA configuration cleared, CPU disabled\n";
  EXPECT_EQ(output_.text_.substr(output_.text_.size() - cleared.size()), cleared) << output_.text_;
}

INSTANTIATE_TEST_SUITE_P(Cables, Emulations,
                         ::testing::Values(EmulationCase{"At89", ID_EMULATE_AT89,
                                                         "emuat89ispcable.bit", "AT89isp cable"},
                                           EmulationCase{"Avr", ID_EMULATE_AVR,
                                                         "emuavrispdongle.bit", "AVR ISP dongle"},
                                           EmulationCase{"Dlc5", ID_EMULATE_DLC5, "emudlc5.bit",
                                                         "DLC5 / Parallel Cable III"}),
                         [](const ::testing::TestParamInfo<EmulationCase>& test) {
                           return std::string(test.param.name);
                         });

struct MissingDesignCase {
  const char* name;
  CommandId id;
  std::vector<const char*> staged;  // the tool's other designs
  const char* missing;
  std::size_t boxes;  // still shown, every one answered Yes or OK
};

class MissingDesign : public CommandTest,
                      public ::testing::WithParamInterface<MissingDesignCase> {};

TEST_P(MissingDesign, FailsTheCommandThoughEveryQuestionIsAnsweredYes) {
  const MissingDesignCase& c = GetParam();
  for (const char* name : c.staged) StageDataFile(name);
  SetUpBoard();
  prompts_.files.push_back(Staged("demo.bit"));
  ASSERT_TRUE(commands_->Run(ID_FPGA_CONFIG_PC).succeeded());
  calls_.clear();
  prompts_.answers = {Answer::Yes, Answer::Yes};
  const CommandResult result = commands_->Run(c.id);
  ASSERT_FALSE(result.succeeded());
  EXPECT_EQ(result.failure->step, std::string("FpgaConfig(") + c.missing + ", 0, 0)");
  EXPECT_EQ(result.failure->code, OMRIX_FPGA_FILE_ERROR);
  EXPECT_EQ(prompts_.boxes.size(), c.boxes);
  ASSERT_FALSE(calls_.empty());
  EXPECT_EQ(calls_.back(), "FpgaCfgForSetup(0, 0)");
  EXPECT_EQ(Board().design(), sim::Design::Demo);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, MissingDesign,
    ::testing::Values(
        MissingDesignCase{"IoTestFirst", ID_TEST_FPGA_IO, {"LIOTESTB.BIT"}, "LIOTESTA.BIT", 2},
        MissingDesignCase{
            "IoTestSecond", ID_TEST_PRAXNODE_IO, {"pRAXnodeTestA.BIT"}, "pRAXnodeTestB.BIT", 2},
        MissingDesignCase{"Emulation", ID_EMULATE_DLC5, {}, "emudlc5.bit", 1}),
    [](const ::testing::TestParamInfo<MissingDesignCase>& test) {
      return std::string(test.param.name);
    });

}  // namespace
}  // namespace omrix::commands::testing
