// omrixctl on the ppdev backend, through the real libieee1284, with the kernel's drivers
// played by the preloaded shim over the simulated board.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "omrix/sim/simulator.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr std::uint32_t kCpuFile1 = 0x10000;
constexpr const char* kSimNotice = "simulated omrix board";

Environment OnPpdev(const LibraryDirectory& directory, const std::string& port) {
  return {{"OMRIX_PORT_IO", "ppdev"},
          {"LD_PRELOAD", PPDEV_SHIM_PATH},
          {"OMRIX_SIM", "state=" + directory.simStateDirectory() +
                            ";sector_erase_ms=5;chip_erase_ms=20" + port}};
}

// The transfer mode the setup recorded, as omrix.dat holds it.
std::string RecordedPpcontrol(const LibraryDirectory& directory) {
  const std::string data = ReadWholeFile(directory.file("omrix.dat"));
  const std::size_t at = data.find(" //HEX PPcontrol");
  if (at == std::string::npos) return "none";
  const std::size_t start = data.rfind('\n', at);
  return data.substr(start == std::string::npos ? 0 : start + 1,
                     at - (start == std::string::npos ? 0 : start + 1));
}

struct PortKind {
  const char* name;
  const char* simulated;  // added to OMRIX_SIM
  const char* ppcontrol;  // the mode the setup must find
};

void PrintTo(const PortKind& kind, std::ostream* out) { *out << kind.name; }

class ThroughLibieee1284 : public ::testing::TestWithParam<PortKind> {};

TEST_P(ThroughLibieee1284, SetsUpConfiguresAndProgramsTheBoard) {
  const LibraryDirectory directory;
  const Environment ppdev = OnPpdev(directory, GetParam().simulated);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"setup"}, {"fpga", "demo.bit"}, {"program", "cpu1", "demo.bin"}}) {
    const ToolRun run = directory.run(command, ppdev);
    ASSERT_EQ(run.exitStatus, 0) << command[0] << "\n" << run.out << run.err;
    EXPECT_EQ(run.out.find(kSimNotice), std::string::npos) << run.out;
  }
  EXPECT_EQ(RecordedPpcontrol(directory), GetParam().ppcontrol);

  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator board(config);
  ASSERT_TRUE(board.attach());
  EXPECT_EQ(board.design(), sim::Design::Demo);
  const std::string program = ReadWholeFile(directory.file("demo.bin"));
  ASSERT_FALSE(program.empty());
  const std::vector<std::uint8_t>& flash = board.flash();
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin() + kCpuFile1,
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

INSTANTIATE_TEST_SUITE_P(Ports, ThroughLibieee1284,
                         ::testing::Values(PortKind{"Epp", "", "44"},
                                           PortKind{"Ps2", ";epp=", "A4"},
                                           PortKind{"Spp", ";epp=;bidir=", "4"}),
                         [](const ::testing::TestParamInfo<PortKind>& kind) {
                           return std::string(kind.param.name);
                         });

}  // namespace
}  // namespace omrix::cli::testing
