// The start of a session: driver bring-up, the start-up's factory and JTAG paths, the device
// check before a subcommand, and the setup items.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "board_view.h"
#include "port_backend_listing.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

const std::string kAccent = "\xC2\xB4";
const std::string kNotInitialized =
    "-> ERROR: " + kAccent + "omrix.dat" + kAccent + " not initialized --> enter FILE SETUP ...\n";

// Replaces the value of the omrix.dat line that carries this type tag and description.
std::string WithValue(const std::string& content, const std::string& tagged,
                      const std::string& value) {
  // The line ends as the system writes them: LF, or CR LF on Windows.
  std::size_t tag = content.find(" " + tagged + "\n");
  if (tag == std::string::npos) tag = content.find(" " + tagged + "\r\n");
  EXPECT_NE(tag, std::string::npos) << tagged;
  if (tag == std::string::npos) return content;
  const std::size_t lineStart = content.rfind('\n', tag) + 1;
  return content.substr(0, lineStart) + value + content.substr(tag);
}

std::string SerialNumberLine(const std::string& content) {
  const std::size_t section = content.find("#init_data");
  const std::size_t tag = content.find("//DEC serial-number", section);
  if (section == std::string::npos || tag == std::string::npos) return "";
  const std::size_t lineStart = content.rfind('\n', tag) + 1;
  return content.substr(lineStart, tag - lineStart);
}

struct FactoryCase {
  const char* name;
  const char* initFpgaFile;
  std::vector<std::string> lines;  // on stdout
  std::string box;                 // the program's message box, on stderr
  std::string serialAfter;         // "#init_data" serial number afterwards, with its blank
  sim::Design design;  // the GUI's exit leaves the FPGA cleared, the JTAG path leaves it
};

class FactoryStart : public ::testing::TestWithParam<FactoryCase> {};

TEST_P(FactoryStart, ReportsAndEndsWithoutTheSubcommand) {
  const FactoryCase& factory = GetParam();
  const LibraryDirectory directory({"intdlc5.bit"});
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  std::string content = ReadWholeFile(directory.file("omrix.dat"));
  content = WithValue(content, "//ASC init entrycode", "R3kTBwN");
  content = WithValue(content, "//HEX parallel port base-address", "378");
  content = WithValue(content, "//ASC FPGA filename for init", factory.initFpgaFile);
  content = WithValue(content, "//DEC serial-number", "1000");
  WriteWholeFile(directory.file("omrix.dat"), content);

  const ToolRun run = directory.run({"erase", "cpu0"});
  EXPECT_EQ(run.exitStatus, 4) << run.out << run.err;
  std::string missing;
  EXPECT_TRUE(ContainsInOrder(run.out, factory.lines, missing)) << missing << "\n" << run.out;
  EXPECT_EQ(run.out.find("Sector erase flash at 0h"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(factory.box), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("'erase' was not run"), std::string::npos) << run.err;
  EXPECT_EQ(SerialNumberLine(ReadWholeFile(directory.file("omrix.dat"))), factory.serialAfter);
  EXPECT_EQ(ReadBoard(directory).design, factory.design);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FactoryStart,
    ::testing::Values(
        FactoryCase{"IdentifierCodes",
                    "setup.bit",
                    {"Device identifier codes programmed,", "-> serial number:      1000\n"},
                    "omrixctl: device ID codes programmed\n",
                    "1001 ",
                    sim::Design::None},
        FactoryCase{
            "Jtag",
            "intdlc5.bit",
            {"Device prepared for internal programming via JTAG at parallel-port address 378h\n"},
            "omrixctl: run " + kAccent + "iMPACT" + kAccent + " now !\n",
            "1000 ",
            sim::Design::IntDlc5}),
    [](const ::testing::TestParamInfo<FactoryCase>& test) { return std::string(test.param.name); });

TEST(Startup, EachFactoryStartProgramsOneBoard) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  std::string content = ReadWholeFile(directory.file("omrix.dat"));
  content = WithValue(content, "//ASC init entrycode", "R3kTBwN");
  content = WithValue(content, "//ASC FPGA filename for init", "setup.bit");
  content = WithValue(content, "//DEC serial-number", "1000");
  WriteWholeFile(directory.file("omrix.dat"), content);
  EXPECT_EQ(directory.run({"start"}).exitStatus, 4);
  const ToolRun second = directory.run({"start"});
  EXPECT_EQ(second.exitStatus, 4);
  EXPECT_NE(second.out.find("-> serial number:      1001\n"), std::string::npos) << second.out;
  EXPECT_EQ(SerialNumberLine(ReadWholeFile(directory.file("omrix.dat"))), "1002 ");
}

TEST(Startup, StartReportsTheRecordedDevice) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  const ToolRun run = directory.run({"start"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("Initialize device at parallel port address 378h\n"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST(Startup, StartWithoutSetupFails) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"start"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find(kNotInitialized), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("-> result: 1"), std::string::npos) << run.err;
}

class WithoutDevice : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(WithoutDevice, RefusesBeforeAnyLibraryWork) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run(GetParam());
  EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("no device is current --> run 'omrixctl setup' first"), std::string::npos)
      << run.err;
  // Nothing after the start-up's own report.
  ASSERT_GE(run.out.size(), kNotInitialized.size());
  EXPECT_EQ(run.out.substr(run.out.size() - kNotInitialized.size()), kNotInitialized) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Subcommands, WithoutDevice,
    ::testing::Values(
        std::vector<std::string>{"program", "cpu0", "demo.bin"},
        std::vector<std::string>{"erase", "all"}, std::vector<std::string>{"save", "x.rom"},
        std::vector<std::string>{"fpga", "clear"}, std::vector<std::string>{"cpu", "run", "0"},
        std::vector<std::string>{"cpu", "disable"},
        std::vector<std::string>{"basic", "save", "x.b52"}, std::vector<std::string>{"rate"},
        std::vector<std::string>{"update-cpu"}, std::vector<std::string>{"update-fpga"},
        std::vector<std::string>{"out", "1", "2"}, std::vector<std::string>{"in", "1"},
        std::vector<std::string>{"init", "1"}, std::vector<std::string>{"ack"}),
    [](const ::testing::TestParamInfo<std::vector<std::string>>& test) {
      return NameOfArguments(test.param);
    });

struct SetupCase {
  std::vector<std::string> arguments;
  std::string sim;  // OMRIX_SIM; "@" is the library directory
  int exitStatus;
  std::string line;       // on stdout
  std::string complaint;  // on stderr; empty: stderr stays empty
};

class SetupItems : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupItems, SearchTheMenusPorts) {
  const SetupCase& setup = GetParam();
  const LibraryDirectory directory;
  const ToolRun run =
      directory.run(setup.arguments, {{"OMRIX_SIM", InDirectory(setup.sim, directory.path())}});
  EXPECT_EQ(run.exitStatus, setup.exitStatus) << run.out << run.err;
  EXPECT_NE(run.out.find(setup.line), std::string::npos) << run.out;
  if (setup.complaint.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(setup.complaint), std::string::npos) << run.err;
  }
}

const char* const kBoardAt378 = "state=@omrix-sim/";
const char* const kNoBoard = "state=@omrix-sim/;board=none";

INSTANTIATE_TEST_SUITE_P(
    Ports, SetupItems,
    ::testing::Values(
        SetupCase{{"setup"}, kBoardAt378, 0, "Setup device at I/O address 378h ...\n", ""},
        SetupCase{{"setup", "auto"},
                  kNoBoard,
                  1,
                  "Setup device at I/O address 278h ...\n",
                  "Device not found at 3BCh, 378h, 278h\nomrixctl: SetupOmrix(0x0) -> result: 2"},
        SetupCase{{"setup", "378"}, kBoardAt378, 0, "Setup device at I/O address 378h...\n", ""},
        SetupCase{{"setup", "278"},
                  kBoardAt378,
                  1,
                  "Setup device at I/O address 278h...\n",
                  "Device not found at 278h\nomrixctl: SetupOmrix(0x278) -> result: 2"},
        SetupCase{{"setup", "3bc"},
                  kBoardAt378,
                  1,
                  "Setup device at I/O address 3BCh...\n",
                  "Device not found at 3BCh\nomrixctl: SetupOmrix(0x3BC) -> result: 2"},
        SetupCase{{"setup", "aux"}, kBoardAt378, 0, "Setup device at I/O address 378h...\n", ""},
        SetupCase{{"setup", "aux"},
                  kNoBoard,
                  1,
                  "Setup device at I/O address 378h...\n",
                  "Device not found at auxiliary port\nomrixctl: SetupOmrix(0x1) -> result: 2"}),
    [](const ::testing::TestParamInfo<SetupCase>& test) {
      return NameOfArguments(test.param.arguments) +
             (test.param.sim.find("none") != std::string::npos ? "_NoBoard" : "_BoardAt378");
    });

struct NotAsRecordedCase {
  std::vector<std::string> arguments;
  int exitStatus;
};

class NotAsRecorded : public ::testing::TestWithParam<NotAsRecordedCase> {};

// The run configuration's file is gone: the start-up fails with result 2 while the device
// stays current.
TEST_P(NotAsRecorded, OnlySetupAndFpgaRun) {
  const NotAsRecordedCase& c = GetParam();
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  ASSERT_EQ(directory.run({"fpga", "demo.bit"}).exitStatus, 0);
  std::filesystem::rename(directory.file("demo.bit"), directory.file("moved.bit"));
  WriteWholeFile(directory.file("repair.txt"), "fpga moved.bit\ncpu run 0\n");
  const ToolRun run = directory.run(c.arguments);
  EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
  if (c.exitStatus == 5) {
    EXPECT_NE(run.err.find("the start-up did not configure the board as omrix.dat records it "
                           "--> run 'omrixctl fpga FILE' or 'omrixctl setup' first"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("read from address"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Run CPU file"), std::string::npos) << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Subcommands, NotAsRecorded,
                         ::testing::Values(NotAsRecordedCase{{"start"}, 5},
                                           NotAsRecordedCase{{"in", "1"}, 5},
                                           NotAsRecordedCase{{"cpu", "run", "0"}, 5},
                                           NotAsRecordedCase{{"erase", "cpu0"}, 5},
                                           NotAsRecordedCase{{"fpga", "moved.bit"}, 0},
                                           NotAsRecordedCase{{"setup"}, 0},
                                           // Once configured, the rest of the script runs.
                                           NotAsRecordedCase{{"script", "repair.txt"}, 0}),
                         [](const ::testing::TestParamInfo<NotAsRecordedCase>& test) {
                           return NameOfArguments(test.param.arguments);
                         });

TEST(Startup, BusyPortIsNeverAdvisedASetup) {
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator otherProgram(config);
  ASSERT_TRUE(otherProgram.attach());
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"start"}, std::vector<std::string>{"rate"}}) {
    SCOPED_TRACE(NameOfArguments(arguments));
    const ToolRun run = directory.run(arguments);
    EXPECT_EQ(run.exitStatus, 5) << run.out << run.err;
    EXPECT_NE(run.out.find("is in use by another program"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("another program holds the port"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("omrixctl setup"), std::string::npos) << run.err;
  }
  // The search also tries 3BCh and 278h, where this board has no port: never "in use" there.
  const ToolRun search = directory.run({"setup"});
  // The holder is this test program, which took the board's lock.
  EXPECT_NE(search.out.find("port 378h is in use by another program (cli_tests, pid "),
            std::string::npos)
      << search.out;
  EXPECT_EQ(search.out.find("port 3BCh is in use"), std::string::npos) << search.out;
  EXPECT_EQ(search.out.find("port 278h is in use"), std::string::npos) << search.out;
}

class PortIo : public ::testing::TestWithParam<const char*> {};

TEST_P(PortIo, DriverFailureIsFatal) {
  if (!isPortBackendName(GetParam())) GTEST_SKIP() << "no such backend on this system";
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"--port-io", GetParam(), "setup"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find("FATAL ERROR: The driver for hardware access could not be loaded"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Setup device"), std::string::npos) << run.out;
  // The hint names what the backend needs.
  EXPECT_NE(run.err.find(std::string("(--port-io ") + GetParam() + ")"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("PROGRAM TERMINATED"), std::string::npos) << run.err;
}

// This machine grants no port access, nor does wine load a driver. An unknown name is bad
// usage.
INSTANTIATE_TEST_SUITE_P(Backends, PortIo, ::testing::Values("direct", "portgate"));

TEST(Startup, PortIoSimIsTheDefaultBackend) {
  const LibraryDirectory directory;
  const ToolRun run = directory.run({"--port-io", "sim", "setup"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("-> INFO: simulated omrix board, no hardware is accessed"),
            std::string::npos);
}

}  // namespace
}  // namespace omrix::cli::testing
