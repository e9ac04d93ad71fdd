// The Command menu's I/O tests and cable emulations: special FPGA designs loaded for a while,
// the person asked what the board does, then the run configuration again.
#include "menu_commands.h"

namespace omrix::commands {

namespace {

const char* const kPinPairLine =
    "|    |    |    |    |    |     |     |     |     |     |     |     |     |     |     | \n";

struct IoTest {
  CommandId id;
  const char* title;
  const char* wiring;
  std::vector<const char*> pinTable;
  const char* note;
  const char* firstDesign;   // the TEST LED flashes fast
  const char* secondDesign;  // and slow
  const char* errorBox;
  const char* failureLine;
  const char* successLine;
};

const IoTest kIoTests[] = {
    {ID_TEST_FPGA_IO,
     "Test FPGA I/O\xB4s ...\n",
     "for testability following pins at omrix, X2 have to be connected via a 1K resistor:\n",
     {"2B   3B   4B   5B   6B   7B    8B    10B   10A   11B   12B   13B   14B   15B   16B   22B\n",
      "LIO0 LIO2 LIO4 LIO6 LIO8 LIO10 LIO12 LIO14 LIO15 LIO16 LIO18 LIO20 LIO22 LIO24 LIO26 "
      "LIO28\n",
      kPinPairLine,
      "LIO1 LIO3 LIO5 LIO7 LIO9 LIO11 LIO13 LI0   LI1   LIO17 LIO19 LIO21 LIO23 LIO25 LIO27 "
      "LIO29\n",
      "2A   3A   4A   5A   6A   7A    8A    9B    9A    11A   12A   13A   14A   15A   16A   13B\n"},
     "Input function at X2 pin LIO14,10B and LIO15,10A will not be tested\n",
     "LIOTESTA.BIT",
     "LIOTESTB.BIT",
     "ERROR: Check FPGA I/O\xB4s",
     "-> ERROR: FPGA I/O test failed\n",
     "-> FPGA I/O test OK\n"},
    {ID_TEST_PRAXNODE_IO,
     "Test pRAXnode I/O\xB4s ...\n",
     "for testability following pins at pRAXnode, X1 and X2 have to be connected via a 1K "
     "resistor:\n",
     {"P1   P5  P2   P6   P9   P13   P10   P14   P17   P21   P18   P22   P25   P29   P26   P30\n",
      kPinPairLine,
      "P3   P7  P4   P8   P11  P15   P12   P16   P19   P23   P20   P24   P27   P31   P28   P32\n"},
     "Input function at X2, P29 and P30 will not be tested\n",
     "pRAXnodeTestA.BIT",
     "pRAXnodeTestB.BIT",
     "ERROR: Check pRAXnode I/O\xB4s",
     "-> ERROR: pRAXnode I/O test failed\n",
     "-> pRAXnode I/O test OK\n"},
};

const char* const kFastQuestion =
    "Test connections have to be installed\n\n\nDoes LED 'TEST' flash fast ?";
const char* const kSlowQuestion =
    "Test connections have to be installed\n\n\nDoes LED 'TEST' flash slow ?";

const char* const kIspSignals = "ISP signal:        RST  MOSI MISO SCK\n";
const char* const kBoardPins = "omrix, X2:         4b   4a   5b   5a\n";
const char* const kBaseBoardPins = "pRAXnode port, X1: P5   P6   P7   P8\n";

struct Emulation {
  CommandId id;
  const char* title;
  const char* compatibility;
  const char* signals;
  const char* design;
  const char* box;
};

const Emulation kEmulations[] = {
    {ID_EMULATE_AT89, "Emulate ATMEL AT89isp cable ...\n", "Compatible to AT89isp software\n",
     kIspSignals, "emuat89ispcable.bit",
     "Emulation mode active:\nATMEL AT89isp cable\n\n-> ready for 'In-System Programming' now\n\n"
     " Press OK to leave emulation mode"},
    {ID_EMULATE_AVR, "Emulate ATMEL AVR ISP dongle ...\n", "Compatible to STK200 / STK300\n",
     kIspSignals, "emuavrispdongle.bit",
     "Emulation mode active:\nATMEL AVR ISP dongle\n\n-> ready for 'In-System Programming' now\n\n"
     " Press OK to leave emulation mode"},
    {ID_EMULATE_DLC5, "Emulate XILINX JTAG download cable ...\n",
     "Compatible to DLC5 / Parallel Cable III\n", "JTAG signal:       TCK  TMS  TDO  TDI\n",
     "emudlc5.bit",
     "Emulation mode active:\nXILINX DLC5 / Parallel Cable III\n\n-> ready for 'iMPACT' now\n\n"
     " Press OK to leave emulation mode"},
};

// A design that did not load fails the command (the library has said why).
void LoadDesign(Library& library, const char* design, CommandResult& result) {
  result.Check(std::string("FpgaConfig(") + design + ", 0, 0)", library.FpgaConfig(design, 0, 0),
               {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER});
}

}  // namespace

std::optional<CommandResult> MenuCommands::RunServiceTool(CommandId id) {
  for (const IoTest& test : kIoTests) {
    if (test.id != id) continue;
    CommandResult result;
    Append("\n");
    for (const char* line : {test.title, test.wiring}) Append(line);
    for (const char* line : test.pinTable) Append(line);
    Append(test.note);
    // The questions are asked even when a design did not load, but no answer mends that.
    LoadDesign(library_, test.firstDesign, result);
    bool passed = prompts_.MessageBox(kFastQuestion, Buttons::YesNo, Icon::Question) == Answer::Yes;
    if (passed) {
      LoadDesign(library_, test.secondDesign, result);
      passed = prompts_.MessageBox(kSlowQuestion, Buttons::YesNo, Icon::Question) == Answer::Yes;
    }
    if (passed) {
      Append(test.successLine);
    } else {
      prompts_.MessageBox(test.errorBox, Buttons::Ok, Icon::Exclamation);
      Append(test.failureLine);
      result.Refuse("the I/O test failed");
    }
    RestoreRunConfiguration(result);
    return result;
  }
  for (const Emulation& emulation : kEmulations) {
    if (emulation.id != id) continue;
    CommandResult result;
    Append("\n");
    for (const char* line :
         {emulation.title, emulation.compatibility, emulation.signals, kBoardPins, kBaseBoardPins})
      Append(line);
    LoadDesign(library_, emulation.design, result);
    // The emulation lasts while the box is open; the port is the other software's meanwhile.
    prompts_.MessageBox(emulation.box, Buttons::Ok, Icon::Information);
    RestoreRunConfiguration(result);
    return result;
  }
  return std::nullopt;
}

void MenuCommands::RestoreRunConfiguration(CommandResult& result) {
  result.Check("FpgaCfgForSetup(0, 0)", library_.FpgaCfgForSetup(0, 0),
               {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER, OMRIX_FPGA_CLEARED});
}

}  // namespace omrix::commands
