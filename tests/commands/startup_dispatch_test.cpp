// The start-up's dispatch on what the library answers, with a table that answers as told.
#include <gtest/gtest.h>

#include "command_fixture.h"

namespace omrix::commands::testing {
namespace {

struct DispatchCase {
  const char* name;
  std::int32_t interpretation;
  std::vector<CommandId> posted;
  std::vector<std::string> boxes;
};

class StartupDispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(StartupDispatch, PostsWhatTheResultAsksFor) {
  const DispatchCase& c = GetParam();
  Library library;
  library.InterpreteOmrixDat = [&c] { return c.interpretation; };
  RecordedOutput output;
  ScriptedPrompts prompts;
  MenuCommands commands(library, output, prompts);
  EXPECT_EQ(commands.InterpretSetupData().posted, c.posted);
  EXPECT_EQ(prompts.boxes, c.boxes);
}

INSTANTIATE_TEST_SUITE_P(Results, StartupDispatch,
                         ::testing::Values(DispatchCase{"Ready", 0, {ID_STARTUP_RECONFIG}, {}},
                                           DispatchCase{"IdCodes", 8, {ID_STARTUP_IDCODES}, {}},
                                           DispatchCase{"Jtag", 16, {ID_STARTUP_JTAG}, {}},
                                           DispatchCase{
                                               "NotInitialised", 1, {}, {"device not found"}},
                                           DispatchCase{"Mismatch", 2, {}, {"device not found"}}),
                         [](const ::testing::TestParamInfo<DispatchCase>& test) {
                           return std::string(test.param.name);
                         });

TEST(StartupCommands, PostedStepsAskAndEndAsTheProgramDoes) {
  std::vector<std::string> calls;
  Library library;
  library.DeInitOmrix = [&calls](std::int32_t mode) {
    calls.push_back("DeInitOmrix(" + std::to_string(mode) + ")");
    return 1;  // a failing de-initialisation changes nothing here
  };
  RecordedOutput output;
  ScriptedPrompts prompts;
  MenuCommands commands(library, output, prompts);

  prompts.answers = {Answer::Cancel, Answer::Ok};
  EXPECT_TRUE(commands.Run(ID_STARTUP_RECONFIG).posted.empty());
  EXPECT_EQ(commands.Run(ID_STARTUP_RECONFIG).posted, std::vector<CommandId>{ID_FPGA_CONFIG_PC});
  EXPECT_EQ(commands.Run(ID_STARTUP_IDCODES).posted, std::vector<CommandId>{ID_APP_EXIT});
  EXPECT_EQ(commands.Run(ID_STARTUP_JTAG).posted, std::vector<CommandId>{ID_SHUTDOWN});
  EXPECT_EQ(calls, std::vector<std::string>{"DeInitOmrix(2)"});  // never the exit's mode 0
  EXPECT_EQ(prompts.boxes,
            (std::vector<std::string>{
                "Re-config via PC ?", "Re-config via PC ?",
                "device ID codes programmed\n\npressing OK will terminate application",
                "device prepared for internal programming via JTAG\n\nrun \xB4iMPACT\xB4 now !\n\n"
                "pressing OK will terminate application"}));
  EXPECT_EQ(output.text_, "");
}

TEST(StartupCommands, DriverThatDoesNotLoadEndsTheProgramInOrder) {
  Library library;
  library.HwaccInit_EnableDllMessages = [](MessageFunction) { return 0; };
  RecordedOutput output;
  ScriptedPrompts prompts;
  MenuCommands commands(library, output, prompts);
  EXPECT_EQ(commands.BringUpDriver().posted, std::vector<CommandId>{ID_APP_EXIT});
  EXPECT_EQ(prompts.boxes,
            std::vector<std::string>{"FATAL ERROR: The driver for hardware access could not be "
                                     "installed\nINFO: Administrator privileges necessary\n"
                                     "PROGRAM TERMINATED"});
}

TEST(StartupCommands, BannerAndOperatingSystemLine) {
  RecordedOutput output;
  ScriptedPrompts prompts;
  MenuCommands commands(Library{}, output, prompts);
  commands.PrintBanner();
  commands.PrintOperatingSystem("6.1.0-test");
  const std::string stars(57, '*');
  EXPECT_EQ(output.text_, stars + "\n" + "           omrix for Windows 9x/NT 4.0 based OS\n" +
                              "   setup, test and control routines for omrix/pRAXnode\n" +
                              "         (c) Varnotek 2005\n" + stars + "\n\n" +
                              "Operating system ...\t--> Linux 6.1.0-test\n");
}

}  // namespace
}  // namespace omrix::commands::testing
