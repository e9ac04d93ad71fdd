// Whole invocations of omrixctl against the simulated board, one library directory per test,
// the board persisting between the invocations as it would on a desk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "board_view.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

// "´" as the terminal shows it: the library sends the Windows-1252 byte 0xB4.
const std::string kAccent = "\xC2\xB4";

struct Step {
  std::vector<std::string> arguments;
  int exitStatus;
  std::vector<std::string> lines;   // on stdout in this order; "@" is the library directory
  std::vector<std::string> absent;  // nowhere on stdout
  std::function<void(const LibraryDirectory&)> check;  // what the run left behind
};

void RunSteps(const LibraryDirectory& directory, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    std::string shown;
    for (const std::string& argument : step.arguments) shown += " " + argument;
    SCOPED_TRACE("omrixctl" + shown);
    const ToolRun run = directory.run(step.arguments);
    EXPECT_EQ(run.exitStatus, step.exitStatus) << run.out << run.err;
    std::vector<std::string> expected;
    for (const std::string& line : step.lines)
      expected.push_back(InDirectory(line, directory.path()));
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(run.out, expected, missing)) << "missing: " << missing << "\n"
                                                             << run.out;
    for (const std::string& line : step.absent) {
      EXPECT_EQ(run.out.find(InDirectory(line, directory.path())), std::string::npos)
          << "unexpected: " << line;
    }
    if (step.check) step.check(directory);
  }
}

std::vector<std::string> SectorLines(const std::vector<const char*>& addresses) {
  std::vector<std::string> lines;
  for (const char* address : addresses)
    lines.push_back(std::string("Sector erase flash at ") + address + "h...\n");
  return lines;
}

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(Session, ScriptedDevelopmentSession) {
  const LibraryDirectory directory;
  const std::vector<Step> steps = {
      {{"start"},
       1,
       {"The driver for hardware access was loaded successfully\n",
        "-> ERROR: " + kAccent + "omrix.dat" + kAccent +
            " not initialized --> enter FILE SETUP ...\n"},
       {},
       nullptr},
      {{"setup"},
       0,
       {"Setup device at I/O address 3BCh ...\n", "-> device not found\n",
        "Setup device at I/O address 378h ...\n", "-> device found\n",
        "-> " + kAccent + "omrix.dat" + kAccent + " written\n", "-> ready\n"},
       {},
       nullptr},
      {{"program", "cpu1", "demo.bin"},
       0,
       {"\nProgram flash memory user space CPU file1 ...\n",
        "Configure FPGA via PC with file: '@setup.bit'", "Sector erase flash at 10000h...\n",
        "Program flash starting at 10000h with file '@demo.bin'", "-> flash program done\n"},
       {},
       nullptr},
      {{"fpga", "demo.bit"},
       0,
       {"Configure FPGA via PC with file: '@demo.bit' ...\n", "-> done\n"},
       {},
       nullptr},
      {{"cpu", "run", "1"},
       0,
       {"Configure FPGA via PC with file: '@demo.bit' ...\n", "\nRun CPU file 1\n", "CPU reset\n"},
       {},
       [](const LibraryDirectory& dir) {
         // The session ended with the lines at rest: the design and the CPU are still running.
         const BoardView board = ReadBoard(dir);
         EXPECT_EQ(board.design, sim::Design::Demo);
         EXPECT_EQ(board.configRegister & 0x01, 0) << "CPU held in reset";
         EXPECT_EQ((board.configRegister >> 1) & 0x03, 1) << "CPU file select";
       }},
      {{"save", "x.rom"},
       0,
       {"Save flash to file: '@x.rom' ", "\n -> done\n"},
       {},
       [](const LibraryDirectory& dir) {
         EXPECT_EQ(ReadWholeFile(dir.file("x.rom")).size(), 507904u);
       }},
      {{"erase", "all"},
       0,
       SectorLines({"0", "10000", "20000", "30000", "40000", "50000", "60000", "70000"}),
       SectorLines({"78000", "7A000"}),
       nullptr},
      {{"program", "all", "x.rom"},
       0,
       Joined(Joined({"\nProgram flash memory user space ...\n"},
                     SectorLines({"0", "10000", "20000", "30000", "40000", "50000", "60000",
                                  "70000", "78000", "7A000"})),
              {"Program flash starting at 0h with file '@x.rom'", "-> flash program done\n"}),
       {},
       nullptr},
      {{"save", "y.rom"},
       0,
       {"Save flash to file: '@y.rom' "},
       {},
       [](const LibraryDirectory& dir) {
         EXPECT_TRUE(ReadWholeFile(dir.file("x.rom")) == ReadWholeFile(dir.file("y.rom")))
             << "the flash does not hold the image programmed back";
       }},
      {{"update-cpu"},
       0,
       {"Configure FPGA via PC with file: '@setup.bit'",
        "Program flash memory user space CPU file1 ...\n", "Sector erase flash at 10000h...\n",
        "Program flash starting at 10000h with file '@demo.bin'", "-> flash program done\n",
        "Configure FPGA via PC with file: '@demo.bit'", "Run CPU file 1\n", "CPU reset\n"},
       {},
       nullptr},
  };
  RunSteps(directory, steps);
}

struct EndCase {
  const char* name;
  std::vector<std::string> options;
  sim::Design design;  // what the FPGA runs after the session
  bool cpuRunning;
};

class SessionEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(SessionEnd, LeavesTheBoardAsTheEndModeSays) {
  const EndCase& end = GetParam();
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);

  std::vector<std::string> program = end.options;
  program.insert(program.end(), {"program", "cpu2", "demo.bin"});
  ASSERT_EQ(directory.run(program).exitStatus, 0);
  // The slot name reaches omrix.dat only through the end's rewrite, in either mode.
  EXPECT_NE(ReadWholeFile(directory.file("omrix.dat"))
                .find(directory.file("demo.bin") + " //ASC CPU file2 full-path-filename"),
            std::string::npos);

  std::vector<std::string> run = end.options;
  run.insert(run.end(), {"cpu", "run", "2"});
  ASSERT_EQ(directory.run(run).exitStatus, 0);
  const BoardView board = ReadBoard(directory);
  EXPECT_EQ(board.design, end.design);
  if (end.cpuRunning) {
    EXPECT_EQ(board.configRegister & 0x07, 0x04) << "CPU running file 2";
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, SessionEnd,
                         ::testing::Values(EndCase{"LinesAtRest", {}, sim::Design::Demo, true},
                                           EndCase{"Stop", {"--stop"}, sim::Design::None, false}),
                         [](const ::testing::TestParamInfo<EndCase>& test) {
                           return std::string(test.param.name);
                         });

const std::string kRefusal =
    "ERROR: can" + kAccent + "t repeat command, first use 'File - Program flash - CPU fileX ...'\n";

TEST(Session, UpdatesWithoutABinaryProgrammed) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  RunSteps(directory,
           {
               {{"update-cpu"}, 1, {kRefusal}, {"Sector erase", "Run CPU file"}, nullptr},
               // Only the FPGA is reloaded: its run configuration, CLEAR after a setup.
               {{"update-fpga"},
                0,
                {"FPGA configuration cleared, CPU disabled\n"},
                {"Run CPU file"},
                nullptr},
           });
}

TEST(Session, UpdatesRepeatTheLastBinaryNotABasicProgram) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  RunSteps(
      directory,
      {
          {{"program", "cpu2", "demo.bin"},
           0,
           {"Program flash starting at 20000h with file '@demo.bin'"},
           {},
           nullptr},
          {{"program", "cpu3", "hello.b52"},
           0,
           {"Program flash starting at 38010h with file '@hello.b52'",
            "-> INFO: flash contains 1 MCS BASIC-52 programs"},
           {},
           nullptr},
          {{"update-fpga"},
           0,
           {"Configure FPGA via PC with file: '@demo.bit' ...\n", "Run CPU file 2\n",
            "CPU reset\n"},
           {},
           nullptr},
          {{"update-cpu"},
           0,
           {"Program flash memory user space CPU file2 ...\n", "Sector erase flash at 20000h...\n",
            "Program flash starting at 20000h with file '@demo.bin'", "Run CPU file 2\n"},
           {"hello.b52"},
           nullptr},
      });
}

TEST(Session, UpdateProgramsTheBinaryRememberedLast) {
  const LibraryDirectory directory;
  WriteWholeFile(directory.file("other.bin"), ReadWholeFile(directory.file("demo.bin")));
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  for (const char* binary : {"demo.bin", "other.bin"}) {
    const ToolRun run = directory.run({"program", "cpu2", binary});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    // The second one replaces the remembered file, which then exists.
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << binary << ": " << run.err;
  }
  const ToolRun update = directory.run({"update-cpu"});
  EXPECT_EQ(update.exitStatus, 0) << update.out << update.err;
  EXPECT_NE(update.out.find("with file '" + directory.file("other.bin") + "'"), std::string::npos)
      << update.out;
}

struct CpuFileCase {
  const char* name;  // as staged in the library directory
  const char* source;
  bool basic;  // stored as a BASIC-52 program rather than programmed as a binary
};

class CpuFileKind : public ::testing::TestWithParam<CpuFileCase> {};

TEST_P(CpuFileKind, FollowsTheExtension) {
  const CpuFileCase& file = GetParam();
  const LibraryDirectory directory;
  WriteWholeFile(directory.file(file.name), ReadWholeFile(directory.file(file.source)));
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const ToolRun run = directory.run({"program", "cpu2", file.name});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  const std::string binaryLine =
      "Program flash starting at 20000h with file '" + directory.file(file.name);
  const bool erased = run.out.find("Sector erase flash at 20000h") != std::string::npos;
  EXPECT_EQ(erased, !file.basic) << run.out;
  EXPECT_EQ(run.out.find(binaryLine) != std::string::npos, !file.basic) << run.out;
  EXPECT_EQ(run.out.find("MCS BASIC-52 ROM free") != std::string::npos, file.basic) << run.out;
  // Only a binary is remembered for update-cpu.
  const ToolRun update = directory.run({"update-cpu"});
  EXPECT_EQ(update.exitStatus, file.basic ? 1 : 0) << update.out << update.err;
}

INSTANTIATE_TEST_SUITE_P(Extensions, CpuFileKind,
                         ::testing::Values(CpuFileCase{"demo.bin", "demo.bin", false},
                                           CpuFileCase{"DEMO.BIN", "demo.bin", false},
                                           CpuFileCase{"demo.Bin", "demo.bin", false},
                                           CpuFileCase{"hello.b52", "hello.b52", true},
                                           CpuFileCase{"hello.hex", "hello.b52", true},
                                           CpuFileCase{"hello", "hello.b52", true},
                                           CpuFileCase{"bin.b52", "hello.b52", true}),
                         [](const ::testing::TestParamInfo<CpuFileCase>& test) {
                           std::string name;
                           for (const char c : std::string(test.param.name))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST(Session, BasicSaveCopiesTheProgramInRam) {
  const LibraryDirectory directory({"basic52.bit"});
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "basic52.bit"}).exitStatus, 0);
  const std::string program = ReadWholeFile(directory.file("hello.b52"));
  ASSERT_GT(program.size(), 1u);
  PutIntoRam(directory, 0x200, program.substr(1));  // the file's 0x55 mark is not in RAM

  const ToolRun run = directory.run({"basic", "save", "saved.b52"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(
      run.out,
      {"\nDevice has to be configured for MCS BASIC-52\n", "CPU disabled\n",
       "Save MCS BASIC-52 program to file: '" + directory.file("saved.b52") + "'", "CPU reset\n"},
      missing))
      << missing << "\n"
      << run.out;
  EXPECT_TRUE(ReadWholeFile(directory.file("saved.b52")) == program);
}

TEST(Session, BasicSaveWithoutEndMarkFails) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  const ToolRun run = directory.run({"basic", "save", "saved.b52"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find("END OF PROGRAM token missing"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Basic2File"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("-> result: 2"), std::string::npos) << run.err;
}

TEST(Session, RateMeasuresFourKindsInsideTheBracket) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  const ToolRun run = directory.run({"rate"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<std::string> formats = {
      "PC -> mm-bus: %lu Kbyte/sec, streaming\n", "PC -> mm-bus: %lu Kbyte/sec\n",
      "PC <- mm-bus: %lu Kbyte/sec, streaming\n", "PC <- mm-bus: %lu Kbyte/sec\n"};
  std::size_t at = run.out.find("\nCheck transfer rates\n");
  ASSERT_NE(at, std::string::npos) << run.out;
  const std::size_t setupLoaded =
      run.out.find("Configure FPGA via PC with file: '" + directory.file("setup.bit"), at);
  ASSERT_NE(setupLoaded, std::string::npos) << run.out;
  at = setupLoaded;
  for (const std::string& format : formats) {
    const std::string prefix = format.substr(0, format.find('%'));
    at = run.out.find(prefix, at);
    ASSERT_NE(at, std::string::npos) << "missing " << prefix << "\n" << run.out;
    const std::size_t end = run.out.find('\n', at);
    const std::string line = run.out.substr(at, end - at + 1);
    unsigned long rate = 0;
    EXPECT_EQ(std::sscanf(line.c_str(), format.c_str(), &rate), 1) << line;
    EXPECT_GT(rate, 0u) << line;
    // A streaming line must not be taken for the single-transfer one after it.
    EXPECT_EQ(line.find("streaming") != std::string::npos,
              format.find("streaming") != std::string::npos)
        << line;
    at = end;
  }
  EXPECT_NE(run.out.find("Configure FPGA via PC with file: '" + directory.file("demo.bit"), at),
            std::string::npos)
      << "the run configuration was not restored\n"
      << run.out;
}

struct BusCase {
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, std::string>> environment;
  std::string line;  // the last line on stdout
};

class BusCommands : public ::testing::TestWithParam<BusCase> {};

TEST_P(BusCommands, PrintAsTheTestInterpreter) {
  const BusCase& bus = GetParam();
  const LibraryDirectory directory;
  std::vector<std::pair<std::string, std::string>> environment;
  for (const auto& variable : bus.environment)
    environment.emplace_back(variable.first, InDirectory(variable.second, directory.path()));
  ASSERT_EQ(directory.run({"setup"}, environment).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}, environment).exitStatus, 0);
  const ToolRun run = directory.run(bus.arguments, environment);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ASSERT_GE(run.out.size(), bus.line.size());
  EXPECT_EQ(run.out.substr(run.out.size() - bus.line.size()), bus.line) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BusCommands,
    ::testing::Values(
        // The demo design starts with its CPU running file 0.
        BusCase{{"in", "1"}, {}, "\n00h read from address 01h\n"},
        BusCase{{"in", "0x01"}, {}, "\n00h read from address 01h\n"},
        BusCase{{"out", "10", "55"}, {}, "\n55h written to address 10h\n"},
        BusCase{{"init", "0"}, {}, "\nSignal PPinit reset, now at low level\n"},
        BusCase{{"init", "1"}, {}, "\nSignal PPinit set, now at high level, default setting\n"},
        BusCase{{"ack"}, {}, "\n1\n"},
        BusCase{{"ack"}, {{"OMRIX_SIM", "state=@omrix-sim/;ack=0"}}, "\n0\n"}),
    [](const ::testing::TestParamInfo<BusCase>& test) {
      return std::to_string(test.index) + "_" + NameOfArguments(test.param.arguments);
    });

// A name with a directory part, in the system's own spelling, means the current directory's
// file: the library's directory is looked in only for a bare name.
TEST(Session, DesignWithADirectoryPartIsNotLookedForInTheLibraryDirectory) {
  const LibraryDirectory directory;
  const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
  const std::string elsewhere = directory.file("elsewhere") + separator;
  std::filesystem::create_directories(elsewhere + "designs");
  std::filesystem::copy_file(directory.file("setup.bit"), elsewhere + "setup.bit");
  std::filesystem::copy_file(directory.file("demo.bit"),
                             elsewhere + "designs" + separator + "d.bit");
  const std::vector<std::pair<std::string, std::string>> library{{"OMRIX_LIBRARY_DIR", elsewhere}};
  ASSERT_EQ(directory.run({"setup"}, library).exitStatus, 0);
  const ToolRun run = directory.run({"fpga", "designs" + separator + "d.bit"}, library);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find("'" + directory.file("designs") + separator + "d.bit' not found"),
            std::string::npos)
      << run.out;
}

TEST(Session, OutReachesTheRegisterNamed) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"out", "5", "3c"}).exitStatus, 0);
  const BoardView board = ReadBoard(directory);
  EXPECT_EQ(board.registers.at(5), 0x3C);
  EXPECT_NE(board.registers.at(3), 0x3C) << "address and data swapped";
}

TEST(Session, FailedFlashWorkEndsWithStatusOneAndStillRestores) {
  const LibraryDirectory directory;
  const std::vector<std::pair<std::string, std::string>> stuck = {
      {"OMRIX_SIM", InDirectory("state=@omrix-sim/;flash_stuck=10", directory.path())}};
  ASSERT_EQ(directory.run({"setup"}, stuck).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}, stuck).exitStatus, 0);
  const ToolRun run = directory.run({"program", "cpu0", "demo.bin"}, stuck);
  EXPECT_EQ(run.exitStatus, 1);
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(run.out,
                              {"Sector erase flash at 0h...\n",
                               "Configure FPGA via PC with file: '" + directory.file("demo.bit")},
                              missing))
      << missing << "\n"
      << run.out;
  EXPECT_NE(run.err.find("FlashSectorErase(0x0) -> result: 2"), std::string::npos) << run.err;
}

TEST(Session, MissingSetupConfigurationStopsBeforeAnyErase) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  std::remove(directory.file("setup.bit").c_str());
  const ToolRun run = directory.run({"erase", "cpu1"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out.find("Sector erase"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("FpgaCfgForSetup(1, 0) -> result: 8"), std::string::npos) << run.err;
  // No closing call: the run configuration is not loaded again after the failure.
  const std::size_t failure = run.out.find("ERROR: FPGA configuration file");
  ASSERT_NE(failure, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Configure FPGA via PC", failure), std::string::npos) << run.out;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

TEST(Session, SetupNeverRunsTheStartUpFirstAndFailsWhenItCannotRecord) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  std::string content = ReadWholeFile(directory.file("omrix.dat"));
  const std::size_t entry = content.find("NOT_VALID //ASC init entrycode");
  ASSERT_NE(entry, std::string::npos);
  WriteWholeFile(directory.file("omrix.dat"), content.replace(entry, 9, "R3kTBwN"));
  const ToolRun run = directory.run({"setup"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out.find("Initialize device"), std::string::npos) << run.out;
  EXPECT_NE(ReadWholeFile(directory.file("omrix.dat")).find("NOT_VALID //ASC init entrycode"),
            std::string::npos);

  ASSERT_EQ(chmod(directory.file("omrix.dat").c_str(), 0444), 0);
  const ToolRun unrecorded = directory.run({"setup"});
  EXPECT_EQ(unrecorded.exitStatus, 1);
  EXPECT_NE(unrecorded.err.find("SetupOmrix(0x0) -> result: 1"), std::string::npos)
      << unrecorded.err;
}

TEST(Session, ScriptRunsInOneSessionAndStopsAtTheFirstFailure) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  WriteWholeFile(directory.file("work.txt"),
                 "# a development loop\nfpga demo.bit\n\nprogram cpu1 demo.bin\ncpu run 1\n");
  const ToolRun run = directory.run({"script", "work.txt"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(Count(run.out, "Initialize device at parallel port address"), 1u) << run.out;
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(run.out, {"-> flash program done\n", "Run CPU file 1\n"}, missing))
      << missing << "\n"
      << run.out;

  WriteWholeFile(directory.file("stops.txt"), "program cpu1 gone.bin\ncpu run 2\n");
  const ToolRun stopped = directory.run({"script", "stops.txt"});
  EXPECT_EQ(stopped.exitStatus, 1);
  EXPECT_EQ(stopped.out.find("Run CPU file 2"), std::string::npos) << stopped.out;

  WriteWholeFile(directory.file("bad.txt"), "cpu run 1\nprogram cpu9 x.bin\n");
  const ToolRun bad = directory.run({"script", "bad.txt"});
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_NE(bad.err.find("script line 2: bad slot 'cpu9'"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out, "");  // nothing ran
}

}  // namespace
}  // namespace omrix::cli::testing
