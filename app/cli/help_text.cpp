#include "help_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "commands/flash_slots.h"
#include "port_backend_listing.h"
#include "system.h"

namespace omrix::cli {

namespace {

using commands::FlashSlot;
using commands::FlashSlotLayout;
using commands::SlotLayout;

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

constexpr int kAddressDigits = 5;
std::string Address(std::uint32_t value) { return Hex(value, kAddressDigits); }

std::string Range(const FlashSlotLayout& slot) {
  return Address(slot.first) + "-" + Address(slot.last);
}

std::string CountWord(std::size_t count) {
  static const char* const kWords[] = {"no",  "one",   "two",   "three", "four", "five",
                                       "six", "seven", "eight", "nine",  "ten",  "eleven"};
  return count < std::size(kWords) ? kWords[count] : std::to_string(count);
}

std::string Joined(const std::vector<std::uint32_t>& sectors, const char* separator) {
  std::string text;
  for (std::uint32_t sector : sectors) text += (text.empty() ? "" : separator) + Address(sector);
  return text;
}

// The flash map in the help texts, as {name} marks filled from the command layer's slot table:
// the help cannot state another map than the commands use.
std::vector<std::pair<std::string, std::string>> FlashMapValues() {
  const FlashSlotLayout& fpga0 = SlotLayout(FlashSlot::Fpga0);
  const FlashSlotLayout& fpga1 = SlotLayout(FlashSlot::Fpga1);
  const FlashSlotLayout& cpu = SlotLayout(FlashSlot::Cpu0);
  const FlashSlotLayout& all = SlotLayout(FlashSlot::All);
  std::vector<std::uint32_t> left;  // programmed with the whole space, not erased with it
  for (std::uint32_t sector : all.programSectors)
    if (std::find(all.eraseSectors.begin(), all.eraseSectors.end(), sector) ==
        all.eraseSectors.end())
      left.push_back(sector);
  const auto cpuSize = static_cast<std::uint32_t>(cpu.capacity());
  return {
      {"fpga0.range", Range(fpga0)},
      {"fpga0.sectors", Joined(fpga0.programSectors, " ")},
      {"fpga1.range", Range(fpga1)},
      {"fpga1.sector0", Address(fpga1.programSectors.front())},
      {"fpga1.sector1", Address(fpga1.programSectors.back())},
      {"cpu.size", Hex(cpuSize, 0)},
      {"cpu.offset", Hex(cpuSize - 1, 0)},
      {"all.range", Range(all)},
      {"all.first", Address(all.first)},
      {"all.last", Address(all.last)},
      {"all.bytes", std::to_string(all.capacity())},
      {"all.count", CountWord(all.programSectors.size())},
      {"all.lowest", Address(all.programSectors.front())},
      {"all.highest", Address(all.programSectors.back())},
      {"erase.count", CountWord(all.eraseSectors.size())},
      {"erase.lowest", Address(all.eraseSectors.front())},
      {"erase.highest", Address(all.eraseSectors.back())},
      {"erase.left", Joined(left, " and ")},
  };
}

// The keys that end a terminal's input differ per system.
std::vector<std::pair<std::string, std::string>> SystemValues() {
  return {{"eof.keys", EndOfInputKeys()}};
}

std::string Filled(std::string filled,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [name, value] : values) {
    const std::string mark = "{" + name + "}";
    for (std::size_t at = filled.find(mark); at != std::string::npos;
         at = filled.find(mark, at + value.size()))
      filled.replace(at, mark.size(), value);
  }
  return filled;
}

std::string PortBackendLines() {
  std::string lines;
  for (const PortBackendListing& backend : kPortBackendListing)
    lines += "                    " + std::string(backend.name) + ": " + backend.description + "\n";
  return lines;
}

struct HelpEntry {
  const char* name;
  const char* synopsis;  // the arguments, for the usage line and the overview
  const char* summary;   // one line for the overview
  const char* details;   // what it does, the library calls, the success table
};

// The flash bracket and the closing restore appear in every flash entry, so they are said once.
constexpr const char* kBracket =
    "  FpgaCfgForSetup(1, 0)  0 (anything else stops the command before any flash work)\n"
    "  FpgaCfgForSetup(0, 0)  0, 0x200, 0x1000 (the run configuration restored afterwards)\n";

constexpr HelpEntry kEntries[] = {
    {"start", "", "only the start-up interpretation of omrix.dat",
     "Brings up the driver and interprets omrix.dat as the GUI does when it starts, then ends\n"
     "the session. Every other subcommand but setup runs this start-up first.\n"
     "\n"
     "library calls: InterpreteOmrixDat()\n"
     "\n"
     "result codes counted as success:\n"
     "  InterpreteOmrixDat  0 (the recorded device is current)\n"
     "                      1 and 4 mean no device was found: exit status 1\n"
     "                      2 (the board not configured as recorded): exit status 5\n"
     "                      8 and 16 (identifier codes programmed, JTAG prepared): status 4\n"},
    {"setup", "[auto|3bc|378|278|aux]", "find the board and record it in omrix.dat",
     "Sets the device up at a port, as the File > Setup menu does: auto searches 3BCh, 378h\n"
     "and 278h in this order (the default), aux takes the auxiliary port of omrix.dat. No\n"
     "start-up runs before it, so a board that omrix.dat would reconfigure, restart or (with\n"
     "a factory entry code) program is only set up.\n"
     "\n"
     "library calls: SetupOmrix(0 | 0x3BC | 0x378 | 0x278 | 1)\n"
     "\n"
     "result codes counted as success:\n"
     "  SetupOmrix  0 (1: omrix.dat unusable, 2: no device found)\n"},
    {"program", "SLOT FILE", "erase SLOT and program FILE into it",
     "Programs a flash slot, as File > Program flash does. SLOT is fpga0, fpga1, cpu0 to cpu3\n"
     "or all (the whole user space, a *.rom image). The slot's sectors are erased first. A CPU\n"
     "file whose extension is not .bin (any letter case) is stored as an MCS BASIC-52 program\n"
     "instead, without an erase. A CPU binary is remembered for update-cpu and update-fpga.\n"
     "\n"
     "library calls: FpgaCfgForSetup(1, 0); FlashSectorErase(sector) for each sector;\n"
     "  FlashProgram(FILE, first, last, 0, 1, reverse) or BasicFlash(FILE, N * {cpu.size});\n"
     "  FpgaCfgForSetup(0, 0)\n"
     "  fpga0 {fpga0.range} (sectors {fpga0.sectors}), fpga1 {fpga1.range} ({fpga1.sector0}\n"
     "  {fpga1.sector1}), both bit-reversed; cpuN N*{cpu.size}-N*{cpu.size}+{cpu.offset} (sector "
     "N*{cpu.size});\n"
     "  all {all.range} (the {all.count} sectors from {all.lowest} to {all.highest})\n"
     "\n"
     "result codes counted as success:\n"
     "  FlashSectorErase  0 (2: time-out)\n"
     "  FlashProgram      0 (1: file not opened, 2: time-out, 4: verify error)\n"
     "  BasicFlash        0 (1, 2, 4 as FlashProgram, 8: BASIC ROM area full)\n"},
    {"erase", "SLOT", "erase the sectors of SLOT",
     "Erases a flash slot, as File > Erase flash does. SLOT as for program; all erases the\n"
     "{erase.count} sectors from {erase.lowest} to {erase.highest} and leaves {erase.left}.\n"
     "\n"
     "library calls: FpgaCfgForSetup(1, 0); FlashSectorErase(sector) for each sector;\n"
     "  FpgaCfgForSetup(0, 0)\n"
     "\n"
     "result codes counted as success:\n"
     "  FlashSectorErase  0 (2: time-out)\n"},
    {"save", "FILE", "save the flash user space to FILE",
     "Saves the flash user space {all.range} ({all.bytes} bytes) into FILE, as File > Save\n"
     "flash does; program all accepts the file back.\n"
     "\n"
     "library calls: FpgaCfgForSetup(1, 0); FlashRead2File(FILE, {all.first}, {all.last});\n"
     "  FpgaCfgForSetup(0, 0)\n"
     "\n"
     "result codes counted as success:\n"
     "  FlashRead2File  0 (1: file not created)\n"},
    {"fpga", "FILE|flash|clear", "configure the FPGA via the PC, from flash, or clear it",
     "Configures the FPGA, as the FPGA menu does; the choice becomes the run configuration\n"
     "that every later start-up and flash command restores. Clearing also stops the CPU.\n"
     "A FILE with a directory part is taken from the current directory; a bare name is looked\n"
     "for in the current directory, then beside the library (OMRIX_LIBRARY_DIR). The absolute\n"
     "path of the file used is what omrix.dat records.\n"
     "\n"
     "library calls: FpgaConfig(FILE, 1, 1) | FpgaConfig(\"FLASH\", 0, 1) |\n"
     "  FpgaConfig(\"CLEAR\", 0, 1)\n"
     "\n"
     "result codes counted as success:\n"
     "  FpgaConfig  0, 0x200 (loaded, no config register found); for clear also 0x1000\n"
     "              (8: file not found, 0x100: device not detected)\n"},
    {"cpu", "run N | disable", "start the CPU on CPU file N, or hold it in reset",
     "Starts the CPU on CPU file N (0 to 3), or holds it in reset, as the CPU menu does. The\n"
     "CPU keeps running after omrixctl ends, unless --stop is given.\n"
     "\n"
     "library calls: CpuRunFile(N) | CpuReset(1)\n"
     "\n"
     "result codes counted as success: none to check, both calls return nothing\n"},
    {"basic", "save FILE", "save the MCS BASIC-52 program in the CPU's RAM",
     "Saves the MCS BASIC-52 program that the CPU holds in RAM into FILE (*.b52), as\n"
     "Command > Save BASIC RAM does. The FPGA is not switched: its run configuration must give\n"
     "access to the CPU's RAM (one made for MCS BASIC-52, e.g. 'omrixctl fpga basic52.bit').\n"
     "\n"
     "library calls: Basic2File(FILE, 0x1000)\n"
     "\n"
     "result codes counted as success:\n"
     "  Basic2File  0 (2: end of program not found, 3: file not created)\n"},
    {"rate", "", "measure the mm-bus transfer rates",
     "Measures the four kinds of mm-bus transfer, as Command > CheckTransferRate does.\n"
     "\n"
     "library calls: FpgaCfgForSetup(1, 0); GetTransferRate(kind, 3, 2, 100) for the kinds\n"
     "  2, 0, 3, 1; FpgaCfgForSetup(0, 0)\n"
     "\n"
     "result codes counted as success: the rates are printed, not checked\n"},
    {"update-cpu", "", "program the last CPU binary again and restart the CPU on it",
     "Repeats the last 'program cpuN FILE.bin' (remembered in omrixctl.state beside\n"
     "omrix.dat) and restarts the CPU on that slot, as UpdateCPU does; the CPU is restarted\n"
     "even when programming failed. Without a remembered binary it refuses (exit status 1).\n"
     "\n"
     "library calls: FpgaCfgForSetup(1, 0); FlashSectorErase(N * {cpu.size});\n"
     "  FlashProgram(FILE, N * {cpu.size}, N * {cpu.size} + {cpu.offset}, 0, 1, 0); "
     "FpgaCfgForSetup(0, 0);\n"
     "  CpuRunFile(N)\n"
     "\n"
     "result codes counted as success:\n"
     "  FlashSectorErase  0\n"
     "  FlashProgram      0\n"},
    {"update-fpga", "", "reload the run configuration and restart the CPU",
     "Loads the run configuration again even if its name is unchanged, so that a rebuilt\n"
     "file takes effect, then restarts the CPU on the remembered binary's slot if there is\n"
     "one, as UpdateFPGA does.\n"
     "\n"
     "library calls: FpgaCfgForSetup(0, 1); CpuRunFile(N) when a binary is remembered\n"
     "\n"
     "result codes counted as success:\n"
     "  FpgaCfgForSetup(0, 1)  0, 0x200, 0x1000 (run configuration CLEAR)\n"},
    {"out", "ADDR DATA", "write DATA to mm-bus address ADDR",
     "Writes one byte to the mm-bus, as the command line's o does, and prints\n"
     "'DDh written to address AAh'. ADDR and DATA are hexadecimal, 00 to FF ('out 10 55'\n"
     "writes 55h to address 10h).\n"
     "\n"
     "library calls: outbyte(ADDR, DATA)\n"
     "\n"
     "result codes counted as success: none to check\n"},
    {"in", "ADDR", "read mm-bus address ADDR",
     "Reads one byte from the mm-bus, as the command line's i does, and prints it the same\n"
     "way: 'VVh read from address AAh' (two hexadecimal digits each). ADDR is hexadecimal.\n"
     "\n"
     "library calls: inbyte(ADDR)\n"
     "\n"
     "result codes counted as success: none to check\n"},
    {"init", "0|1", "set the PPinit line low or high",
     "Sets the parallel port's INIT line, as the command line's s does (1 is the default\n"
     "level).\n"
     "\n"
     "library calls: PPinitSet(LEVEL)\n"
     "\n"
     "result codes counted as success: none to check\n"},
    {"ack", "", "read the PPack line",
     "Reads the parallel port's ACK line and prints 1 (high) or 0 (low).\n"
     "\n"
     "library calls: PPackGet()\n"
     "\n"
     "result codes counted as success: none to check\n"},
    {"shell", "", "the test routines at a prompt, in one session",
     "Reads the test routines' one-letter commands at a prompt with line editing and\n"
     "history, as the GUI's Command > Commandline dialog does, all in one session: o ADDR\n"
     "DATA, i ADDR, s 0|1, g, c FILE, f, ? (help) and @ (prints a line every 100 ms until\n"
     "Enter). Numbers are hexadecimal; the file name of c reaches it byte for byte (a line\n"
     "the terminal's encoding cannot read, or one holding a NUL byte, is not run) and is found\n"
     "as fpga's FILE is (see 'omrixctl help fpga'). exit, quit or {eof.keys} ends the shell; so\n"
     "does Ctrl-C, once the running command is done.\n"
     "\n"
     "library calls: outbyte, inbyte, PPinitSet, PPackGet, FpgaConfig(FILE, 1, 1)\n"
     "\n"
     "result codes counted as success: none to check\n"},
    {"io-test", "omrix|praxnode", "test the connector pins with the test wiring",
     "Loads the first I/O-test design and asks whether the TEST LED flashes fast, then the\n"
     "second and whether it flashes slowly (answer y or n), as Command > Test FPGA I/O and\n"
     "Test pRAXnode I/O do; the pins to join through 1K resistors are printed first. The run\n"
     "configuration is loaded again at the end.\n"
     "\n"
     "library calls: FpgaConfig(LIOTESTA.BIT or pRAXnodeTestA.BIT, 0, 0), the B design\n"
     "  likewise after a yes, FpgaCfgForSetup(0, 0)\n"
     "\n"
     "result codes counted as success: the answers decide; a no is exit status 1\n"},
    {"emulate", "at89|avr|dlc5", "turn the board into a programming cable until Enter",
     "Loads the emulation design of the AT89isp cable, the AVR ISP dongle (STK200/STK300) or\n"
     "the DLC5 / Parallel Cable III and leaves the port to other programming software until\n"
     "you press Enter; then the run configuration is loaded again.\n"
     "\n"
     "library calls: FpgaConfig(emuat89ispcable.bit, emuavrispdongle.bit or emudlc5.bit, 0,\n"
     "  0), FpgaCfgForSetup(0, 0)\n"
     "\n"
     "result codes counted as success: FpgaCfgForSetup 0, 0x200, 0x1000\n"},
    {"script", "FILE|-", "run one subcommand per line in one session",
     "Runs the subcommands of FILE (or standard input for -), one per line with its\n"
     "arguments, in one session: one start-up (none when the first line is a setup), the\n"
     "board kept current between them. Empty lines and lines beginning with # are skipped.\n"
     "Every line is checked before the first runs; the script stops at the first failure and\n"
     "its exit status is the script's.\n"
     "\n"
     "library calls: those of each line\n"
     "\n"
     "result codes counted as success: those of each line\n"},
};

// The session host's own words: the client answers them before any subcommand is parsed.
constexpr HelpEntry kHostEntries[] = {
    {"serve", "[--stop]",
     "host this board's session until SIGTERM, SIGINT or\n"
     "                                'omrixctl serve --stop', then end as File > Exit does",
     "Brings up the driver, runs the start-up once with its usual output and keeps the\n"
     "session: every omrixctl of the same user for this board then runs its subcommand here,\n"
     "one at a time in arrival order, without a start-up of its own. Ends on SIGTERM, SIGINT,\n"
     "SIGHUP or 'omrixctl serve --stop', as File > Exit does. The open omrix window is such a\n"
     "host too; it ends only with its File > Exit, so '--stop' is refused there. The socket\n"
     "lies in $XDG_RUNTIME_DIR/omrix/ (or /tmp/omrix-UID/), one per board; '--session PATH'\n"
     "or OMRIX_SESSION names another, e.g. one forwarded with ssh -L from another machine.\n"
     "\n"
     "library calls: HwaccInit_EnableDllMessages, InterpreteOmrixDat once; those of each\n"
     "  client's subcommand; DeInitOmrix(0), HwaccDeInit at the end\n"
     "\n"
     "result codes counted as success: those of the start-up, as for start\n"},
    {"status", "", "whether a session host (window or serve) holds this board",
     "Says whether a session host (the omrix window or 'omrixctl serve') holds this board,\n"
     "with its pid, its board's directory and its port backend. Exit status 0 when a host\n"
     "is there, 1 when none is.\n"
     "\n"
     "library calls: none\n"
     "\n"
     "result codes counted as success: none to check\n"},
};

bool UsesBracket(const std::string& name) {
  return name == "program" || name == "erase" || name == "save" || name == "rate" ||
         name == "update-cpu";
}

const HelpEntry* FindEntry(const std::string& name) {
  for (const HelpEntry& entry : kEntries) {
    if (name == entry.name) return &entry;
  }
  for (const HelpEntry& entry : kHostEntries) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

std::string UsageLine(const HelpEntry& entry) {
  std::string line = std::string("usage: omrixctl [OPTIONS] ") + entry.name;
  if (*entry.synopsis) line += std::string(" ") + entry.synopsis;
  return line + "\n";
}

}  // namespace

std::string ToolHelp() {
  std::string text =
      "usage: omrixctl [OPTIONS] SUBCOMMAND [ARGUMENTS]\n"
      "       omrixctl help [SUBCOMMAND] | SUBCOMMAND --help | --help | --version\n"
      "\n"
      "Drives the omrix board through libomrix_dll.so, one short session per invocation: the\n"
      "driver is brought up, omrix.dat is interpreted (start-up), the subcommand runs, and the\n"
      "port lines are put at rest without clearing the FPGA, so a started CPU keeps running;\n"
      "omrix.dat is saved. The library's messages are printed as they arrive.\n"
      "When a session host holds the board (the open omrix window, or 'omrixctl serve'), the\n"
      "subcommand runs in the host's session instead: no start-up again, the output and the\n"
      "questions here (the output in the window too), the exit status as it would be.\n"
      "\n"
      "subcommands:\n";
  const auto overview = [&text](const HelpEntry& entry) {
    std::string left = std::string("  ") + entry.name;
    if (*entry.synopsis) left += std::string(" ") + entry.synopsis;
    if (left.size() < 32)
      left.resize(32, ' ');
    else
      left += "\n" + std::string(32, ' ');
    text += left + entry.summary + "\n";
  };
  for (const HelpEntry& entry : kEntries) overview(entry);
  for (const HelpEntry& entry : kHostEntries) overview(entry);
  text +=
      "\n"
      "options:\n"
      "  --port-io NAME  port backend, sets OMRIX_PORT_IO:\n" +
      PortBackendLines() +
      "  --stop          end as the GUI's File > Exit does: the FPGA is cleared, the CPU stops\n"
      "  --no-session    a short session of its own even when a session host is there\n"
      "  --session PATH  the session host's socket (also OMRIX_SESSION), e.g. one forwarded\n"
      "                  by ssh -L from another machine\n"
      "  -q, --quiet     print only what was asked for (what out, in, init and ack report,\n"
      "                  the rates, the shell's answers), and errors and warnings\n"
      "  --help, -h      this text; 'omrixctl help SUB' or 'omrixctl SUB --help' for one\n"
      "  --version       the version line\n"
      "\n"
      "Numbers are decimal or hexadecimal with 0x; out and in take hexadecimal as the test\n"
      "routines do. File names are taken from the current directory and made absolute before\n"
      "they reach the library; an FPGA configuration's bare name is also looked for beside the\n"
      "library. SLOT is fpga0, fpga1, cpu0, cpu1, cpu2, cpu3 or all.\n"
      "\n"
      "environment: OMRIX_PORT_IO (port backend), OMRIX_STATE_DIR (directory of omrix.dat and\n"
      "  omrixctl.state; default $XDG_STATE_HOME/omrix or ~/.local/state/omrix),\n"
      "  OMRIX_LIBRARY_DIR (directory of the data files, and of the state unless\n"
      "  OMRIX_STATE_DIR is set), OMRIX_SIM (the simulated board's settings)\n"
      "\n"
      "exit status:\n"
      "  0  success (each subcommand's help lists the result codes that count as success)\n"
      "  1  the library reported a failure; its result code is printed\n"
      "  2  bad usage\n"
      "  3  no device is current: run 'omrixctl setup' first\n"
      "  4  the start-up programmed identifier codes or prepared JTAG; the subcommand did not "
      "run\n"
      "  5  the start-up did not configure the board as omrix.dat records it (a configuration\n"
      "     file missing, another board, the port held by another program); only setup and\n"
      "     fpga run until one of them succeeds\n"
      "  128+N  ended by signal N (" +
      std::string(EndingSignalNames()) +
      "):\n"
      "     the running subcommand finished, no further one started, and the session ended in\n"
      "     order (omrix.dat saved)\n";
  return text;
}

std::string SubcommandHelp(const std::string& name) {
  const HelpEntry* entry = FindEntry(name);
  if (!entry) return "";
  static const std::vector<std::pair<std::string, std::string>> flashMap = FlashMapValues();
  std::string text =
      UsageLine(*entry) + "\n" + Filled(Filled(entry->details, flashMap), SystemValues());
  if (UsesBracket(name)) text += std::string("  flash bracket:\n") + kBracket;
  return text;
}

std::vector<std::string> HelpTopics() {
  std::vector<std::string> names;
  for (const HelpEntry& entry : kEntries) names.emplace_back(entry.name);
  return names;
}

std::string VersionLine() { return "omrixctl " OMRIX_VERSION " (libomrix_dll, 26 exports)\n"; }

}  // namespace omrix::cli
