#include "menu.h"

namespace omrix::commands {

namespace {

constexpr const char* kFile = "&File";
constexpr const char* kSetup = "&Setup";
constexpr const char* kProgram = "&Program flash";
constexpr const char* kErase = "E&rase flash";
constexpr const char* kFpga = "FP&GA";
constexpr const char* kCpu = "C&PU";
constexpr const char* kCommand = "Co&mmand";
constexpr const char* kEmulate = "&Emulate";
constexpr const char* kUpdateCpu = "Update&CPU";
constexpr const char* kUpdateFpga = "UpdateFPG&A";
constexpr const char* kHelp = "?";

}  // namespace

const std::vector<MenuEntry>& MenuBar() {
  static const std::vector<MenuEntry> entries = {
      {kFile, kSetup, "&AutoSetup", ID_SETUP_AUTO},
      {kFile, kSetup, nullptr, ID_SEPARATOR},
      {kFile, kSetup, "At port 3&BCh", ID_SETUP_3BC},
      {kFile, kSetup, "At port &378h", ID_SETUP_378},
      {kFile, kSetup, "At port &278h", ID_SETUP_278},
      {kFile, kSetup, nullptr, ID_SEPARATOR},
      {kFile, kSetup, "At au&xiliary port", ID_SETUP_AUX},
      {kFile, kProgram, "&FPGA file0 (default) ...", ID_PROGRAM_FPGA0},
      {kFile, kProgram, "FP&GA file1 ...", ID_PROGRAM_FPGA1},
      {kFile, kProgram, nullptr, ID_SEPARATOR},
      {kFile, kProgram, "CPU file&0 (default) ...", ID_PROGRAM_CPU0},
      {kFile, kProgram, "CPU file&1 ...", ID_PROGRAM_CPU1},
      {kFile, kProgram, "CPU file&2 ...", ID_PROGRAM_CPU2},
      {kFile, kProgram, "CPU file&3 ...", ID_PROGRAM_CPU3},
      {kFile, kProgram, nullptr, ID_SEPARATOR},
      {kFile, kProgram, "&All ...", ID_PROGRAM_ALL},
      {kFile, nullptr, "Sa&ve flash ...", ID_SAVE_FLASH},
      {kFile, kErase, "&FPGA file0 (default)", ID_ERASE_FPGA0},
      {kFile, kErase, "FPG&A file1", ID_ERASE_FPGA1},
      {kFile, kErase, nullptr, ID_SEPARATOR},
      {kFile, kErase, "CPU file&0 (default)", ID_ERASE_CPU0},
      {kFile, kErase, "CPU file&1", ID_ERASE_CPU1},
      {kFile, kErase, "CPU file&2", ID_ERASE_CPU2},
      {kFile, kErase, "CPU file&3", ID_ERASE_CPU3},
      {kFile, kErase, nullptr, ID_SEPARATOR},
      {kFile, kErase, "&All", ID_ERASE_ALL},
      {kFile, nullptr, nullptr, ID_SEPARATOR},
      {kFile, nullptr, "E&xit", ID_APP_EXIT},
      {kFpga, nullptr, "Config via &PC ...", ID_FPGA_CONFIG_PC},
      {kFpga, nullptr, "Config via &flash", ID_FPGA_CONFIG_FLASH},
      {kFpga, nullptr, nullptr, ID_SEPARATOR},
      {kFpga, nullptr, "&Clear", ID_FPGA_CLEAR},
      {kCpu, nullptr, "Run file&0 (default)", ID_CPU_RUN0},
      {kCpu, nullptr, "Run file&1", ID_CPU_RUN1},
      {kCpu, nullptr, "Run file&2", ID_CPU_RUN2},
      {kCpu, nullptr, "Run file&3", ID_CPU_RUN3},
      {kCpu, nullptr, nullptr, ID_SEPARATOR},
      {kCpu, nullptr, "&Disable", ID_CPU_DISABLE},
      {kCommand, kEmulate, "A&T89isp cable", ID_EMULATE_AT89},
      {kCommand, kEmulate, "&AVR ISP dongle", ID_EMULATE_AVR},
      {kCommand, kEmulate, "&DLC5 / Parallel Cable III", ID_EMULATE_DLC5},
      {kCommand, nullptr, nullptr, ID_SEPARATOR},
      {kCommand, nullptr, "&Save BASIC RAM ...", ID_SAVE_BASIC_RAM},
      {kCommand, nullptr, "Test &FPGA I/O", ID_TEST_FPGA_IO},
      {kCommand, nullptr, "&Test pRAXnode I/O", ID_TEST_PRAXNODE_IO},
      {kCommand, nullptr, "CheckTransfer&Rate", ID_CHECK_TRANSFER_RATE},
      {kCommand, nullptr, nullptr, ID_SEPARATOR},
      {kCommand, nullptr, "&Commandline ...", ID_COMMANDLINE},
      {kUpdateCpu, nullptr, kUpdateCpu, ID_UPDATE_CPU},
      {kUpdateFpga, nullptr, kUpdateFpga, ID_UPDATE_FPGA},
      {kHelp, nullptr, "&About  omrix ...", ID_APP_ABOUT},
  };
  return entries;
}

bool AlwaysEnabled(CommandId id) {
  switch (id) {
    case ID_SETUP_AUTO:
    case ID_SETUP_3BC:
    case ID_SETUP_378:
    case ID_SETUP_278:
    case ID_SETUP_AUX:
    case ID_APP_EXIT:
    case ID_APP_ABOUT: return true;
    default: return false;
  }
}

}  // namespace omrix::commands
