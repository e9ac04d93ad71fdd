// Arguments: what is refused before the library is touched, the help texts and the version.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "command_line.h"
#include "help_text.h"
#include "port_backend_listing.h"
#include "session.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

struct BadUsage {
  std::vector<std::string> arguments;
  std::string complaint;
};

class BadArguments : public ::testing::TestWithParam<BadUsage> {};

TEST_P(BadArguments, ExitTwoWithoutStartingTheLibrary) {
  const BadUsage& bad = GetParam();
  const LibraryDirectory directory;
  const ToolRun run = directory.run(bad.arguments);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find(bad.complaint), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("omrixctl --help"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "") << "the library was started";
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments,
    ::testing::Values(
        BadUsage{{}, "no subcommand given"},
        BadUsage{{"frobnicate"}, "unknown subcommand 'frobnicate'"},
        BadUsage{{"--frob", "start"}, "unknown option '--frob'"},
        BadUsage{{"--port-io"}, "'--port-io' needs a backend name"},
        BadUsage{{"--port-io", "bogus", "setup"}, "unknown port backend 'bogus'"},
        BadUsage{{"script"}, "'script' needs a file or '-'"},
        BadUsage{{"program", "cpu1"}, "'program' needs a file"},
        BadUsage{{"program"}, "'program' needs a slot"},
        BadUsage{{"program", "cpu4", "demo.bin"}, "bad slot 'cpu4'"},
        BadUsage{{"program", "CPU1", "demo.bin"}, "bad slot 'CPU1'"},
        BadUsage{{"erase", "fpga2"}, "bad slot 'fpga2'"},
        BadUsage{{"erase", "all", "extra"}, "unexpected argument 'extra'"},
        BadUsage{{"save"}, "'save' needs a file"}, BadUsage{{"fpga"}, "'fpga' needs a file"},
        BadUsage{{"setup", "3bd"}, "bad port '3bd'"},
        BadUsage{{"cpu", "run"}, "'cpu' needs CPU file number"},
        BadUsage{{"cpu", "run", "4"}, "bad CPU file number '4'"},
        BadUsage{{"cpu", "stop"}, "bad action 'stop'"},
        BadUsage{{"basic", "load", "x.b52"}, "bad action 'load'"},
        BadUsage{{"basic", "save"}, "'basic' needs a file"},
        BadUsage{{"out", "0x1g", "5"}, "bad address '0x1g'"},
        BadUsage{{"out", "1", "100"}, "bad data '100'"}, BadUsage{{"out", "1"}, "'out' needs data"},
        BadUsage{{"in", "0x"}, "bad address '0x'"}, BadUsage{{"in", "-1"}, "unknown option '-1'"},
        BadUsage{{"init", "2"}, "bad level '2'"}, BadUsage{{"ack", "1"}, "unexpected argument '1'"},
        BadUsage{{"help", "frobnicate"}, "no help for unknown subcommand 'frobnicate'"}),
    [](const ::testing::TestParamInfo<BadUsage>& test) {
      return std::to_string(test.index) + "_" + NameOfArguments(test.param.arguments);
    });

struct NumberCase {
  const char* text;
  std::uint32_t largest;
  bool ok;
  std::uint32_t value;
};

class Numbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, DecimalOrHexadecimalOnly) {
  const NumberCase& number = GetParam();
  std::uint32_t value = 12345;
  EXPECT_EQ(ParseNumber(number.text, number.largest, value), number.ok);
  if (number.ok) {
    EXPECT_EQ(value, number.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Numbers,
    ::testing::Values(NumberCase{"0", 255, true, 0}, NumberCase{"255", 255, true, 255},
                      NumberCase{"256", 255, false, 0}, NumberCase{"0xFF", 255, true, 255},
                      NumberCase{"0Xff", 255, true, 255}, NumberCase{"0x100", 255, false, 0},
                      NumberCase{"010", 255, true, 10},  // decimal, not octal
                      NumberCase{"ff", 255, false, 0}, NumberCase{"0x", 255, false, 0},
                      NumberCase{"", 255, false, 0}, NumberCase{" 1", 255, false, 0},
                      NumberCase{"1 ", 255, false, 0}, NumberCase{"+1", 255, false, 0},
                      NumberCase{"-1", 255, false, 0}, NumberCase{"1e2", 255, false, 0},
                      NumberCase{"99999999999999999999999", 0xFFFFFFFF, false, 0},
                      NumberCase{"0xFFFFFFFF", 0xFFFFFFFF, true, 0xFFFFFFFF}));

class SubcommandHelp : public ::testing::TestWithParam<std::string> {};

TEST_P(SubcommandHelp, BothSpellingsShowTheSuccessTable) {
  const std::string& name = GetParam();
  const LibraryDirectory directory;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"help", name}, std::vector<std::string>{name, "--help"}}) {
    const ToolRun run = directory.run(arguments);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out.rfind("usage: omrixctl [OPTIONS] " + name, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("library calls:"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("result codes counted as success"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
  }
}

INSTANTIATE_TEST_SUITE_P(All, SubcommandHelp, ::testing::ValuesIn(SubcommandNames()),
                         [](const ::testing::TestParamInfo<std::string>& test) {
                           std::string name = test.param;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

TEST(Help, EverySubcommandOfTheParserHasOneHelpEntryAndNoEntryIsWithout) {
  std::vector<std::string> parsed = SubcommandNames();
  std::vector<std::string> helped = HelpTopics();
  std::sort(parsed.begin(), parsed.end());
  std::sort(helped.begin(), helped.end());
  EXPECT_EQ(std::adjacent_find(helped.begin(), helped.end()), helped.end()) << "a topic twice";
  EXPECT_EQ(helped, parsed);
}

TEST(Help, ToolHelpListsEverySubcommandAndTheExitStatuses) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"--help"});
  EXPECT_EQ(run.exitStatus, 0);
  for (const std::string& name : SubcommandNames())
    EXPECT_NE(run.out.find("\n  " + name + " "), std::string::npos) << name;
  std::vector<std::string> overview;
  for (const std::string& name : HelpTopics()) overview.push_back("\n  " + name + " ");
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(run.out, overview, missing)) << missing;
  for (const ExitStatus status :
       {kSuccess, kLibraryFailure, kBadUsage, kNoDevice, kFactoryPath, kNotAsRecorded}) {
    const std::string line = "\n  " + std::to_string(status) + "  ";
    EXPECT_NE(run.out.find(line), std::string::npos) << status;
  }
  EXPECT_NE(run.out.find("\n  " + std::to_string(kEndedBySignal) + "+N  "), std::string::npos);
  EXPECT_EQ(directory.run({"help"}).out, run.out);
  EXPECT_EQ(directory.run({"-h"}).out, run.out);
}

// The help read as prose: its lines joined.
std::string Prose(std::string help) {
  std::replace(help.begin(), help.end(), '\n', ' ');
  return help;
}

TEST(Help, SaysWhereAConfigurationFileIsFound) {
  const std::string rule =
      "a bare name is looked for in the current directory, then beside the library";
  EXPECT_NE(Prose(cli::SubcommandHelp("fpga")).find(rule), std::string::npos);
  const std::string shell = Prose(cli::SubcommandHelp("shell"));
  EXPECT_NE(shell.find("found as fpga's FILE is"), std::string::npos) << shell;
  EXPECT_EQ(shell.find("as typed"), std::string::npos) << shell;
}

std::string Joined(const std::vector<std::string>& words, const std::string& between,
                   const std::string& last) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i)
    text += (i == 0 ? "" : i + 1 == words.size() ? last : between) + words[i];
  return text;
}

TEST(Help, NamesTheChoicesTheParserTakes) {
  for (const Subcommand subcommand : {Subcommand::Setup, Subcommand::IoTest, Subcommand::Emulate}) {
    const std::vector<std::string> words = ChoiceWords(subcommand);
    ASSERT_FALSE(words.empty()) << SubcommandName(subcommand);
    const std::string help = cli::SubcommandHelp(SubcommandName(subcommand));
    const std::string usage = help.substr(0, help.find('\n'));
    EXPECT_NE(usage.find(Joined(words, "|", "|")), std::string::npos) << usage;
  }
  for (const Subcommand subcommand : {Subcommand::Program, Subcommand::Erase}) {
    const std::string slots = "SLOT is " + Joined(ChoiceWords(subcommand), ", ", " or ") + ".";
    EXPECT_NE(ToolHelp().find(slots), std::string::npos) << slots;
  }
}

struct SuccessCodes {
  const char* subcommand;
  std::vector<std::string> entries;
};

class HelpSuccessCodes : public ::testing::TestWithParam<SuccessCodes> {};

TEST_P(HelpSuccessCodes, NameTheCodesThatCountAsSuccess) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"help", GetParam().subcommand});
  const std::size_t table = run.out.find("result codes counted as success");
  ASSERT_NE(table, std::string::npos) << run.out;
  for (const std::string& entry : GetParam().entries)
    EXPECT_NE(run.out.find(entry, table), std::string::npos) << entry << "\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HelpSuccessCodes,
    ::testing::Values(SuccessCodes{"fpga", {"FpgaConfig  0, 0x200", "for clear also 0x1000"}},
                      SuccessCodes{"setup", {"SetupOmrix  0"}},
                      SuccessCodes{"program",
                                   {"FlashSectorErase  0", "FlashProgram      0",
                                    "BasicFlash        0", "FpgaCfgForSetup(1, 0)  0"}},
                      SuccessCodes{"erase", {"FlashSectorErase  0"}},
                      SuccessCodes{"save", {"FlashRead2File  0"}},
                      SuccessCodes{"basic", {"Basic2File  0"}},
                      SuccessCodes{"update-fpga", {"FpgaCfgForSetup(0, 1)  0, 0x200, 0x1000"}}));

TEST(Help, VersionLine) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"--version"});
  EXPECT_EQ(run.exitStatus, 0);
  // The build's one version, the one the About box shows too.
  EXPECT_EQ(run.out.rfind("omrixctl " OMRIX_VERSION " ", 0), 0u) << run.out;
  EXPECT_EQ(run.out.back(), '\n');
}

TEST(PortBackends, HelpAndReadmeListTheLibrarysTable) {
  const LibraryDirectory directory;
  const std::string help = directory.run({"--help"}).out;
  const std::string readme = ReadWholeFile(OMRIX_README_PATH);
  for (const PortBackendListing& backend : kPortBackendListing) {
    SCOPED_TRACE(backend.name);
    EXPECT_NE(help.find(std::string(backend.name) + ": " + backend.description), std::string::npos)
        << help;
    EXPECT_NE(readme.find("`" + std::string(backend.name) + "`: " + backend.description),
              std::string::npos);
  }
}

}  // namespace
}  // namespace omrix::cli::testing
