#include "operations.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "console.h"
#include "omrix/omrix_dll.h"
#include "tool_files.h"

namespace omrix::cli {

namespace {

// Result codes that count as success, per operation.
const std::vector<std::int32_t> kDone{0};
const std::vector<std::int32_t> kFpgaLoaded{0, 0x200};
const std::vector<std::int32_t> kFpgaAny{0, 0x200, 0x1000};

struct SlotLayout {
  Slot slot;
  const char* programLine;                    // the GUI's line before programming
  std::vector<std::uint32_t> programSectors;  // erased before programming
  std::vector<std::uint32_t> eraseSectors;    // the Erase flash item's sectors
  std::uint32_t first;
  std::uint32_t last;
  std::int32_t reverseBits;  // FPGA configurations are stored bit-reversed
  int cpuFile;               // -1 for the FPGA slots and the whole user space
};

// clang-format off
const std::vector<SlotLayout>& Layouts() {
  static const std::vector<SlotLayout> layouts = {
      {Slot::Fpga0, "Program flash memory user space FPGA file0 (default) ...\n",
       {0x40000, 0x50000}, {0x40000, 0x50000}, 0x40000, 0x5FFFF, 1, -1},
      {Slot::Fpga1, "Program flash memory user space FPGA file1 ...\n",
       {0x60000, 0x70000}, {0x60000, 0x70000}, 0x60000, 0x77FFF, 1, -1},
      {Slot::Cpu0, "Program flash memory user space CPU file0 (default) ...\n",
       {0x00000}, {0x00000}, 0x00000, 0x0FFFF, 0, 0},
      {Slot::Cpu1, "Program flash memory user space CPU file1 ...\n",
       {0x10000}, {0x10000}, 0x10000, 0x1FFFF, 0, 1},
      {Slot::Cpu2, "Program flash memory user space CPU file2 ...\n",
       {0x20000}, {0x20000}, 0x20000, 0x2FFFF, 0, 2},
      {Slot::Cpu3, "Program flash memory user space CPU file3 ...\n",
       {0x30000}, {0x30000}, 0x30000, 0x3FFFF, 0, 3},
      // Programming the whole space erases ten sectors; the Erase item leaves the last two.
      {Slot::All, "Program flash memory user space ...\n",
       {0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000, 0x60000, 0x70000, 0x78000, 0x7A000},
       {0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000, 0x60000, 0x70000},
       0x00000, 0x7BFFF, 0, -1},
  };
  return layouts;
}
// clang-format on

const SlotLayout& LayoutOf(Slot slot) {
  for (const SlotLayout& layout : Layouts()) {
    if (layout.slot == slot) return layout;
  }
  return Layouts().back();
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A result outside the operation's success set is a failure of the invocation; the library has
// explained it already, the line names the call and its code.
bool Accept(const std::string& call, std::int32_t result, const std::vector<std::int32_t>& good) {
  if (std::find(good.begin(), good.end(), result) != good.end()) return true;
  Complain(call + " -> result: " + ResultText(result));
  return false;
}

// The menu's flash bracket: the setup configuration for the work, the run configuration
// restored after it whatever the work reported. nullopt: the setup configuration could not be
// loaded and nothing was done.
std::optional<bool> InSetupConfiguration(const std::function<bool()>& work) {
  if (!Accept("FpgaCfgForSetup(1, 0)", FpgaCfgForSetup(1, 0), kDone)) return std::nullopt;
  const bool worked = work();
  const bool restored = Accept("FpgaCfgForSetup(0, 0)", FpgaCfgForSetup(0, 0), kFpgaAny);
  return worked && restored;
}

int StatusOf(std::optional<bool> outcome) {
  return outcome && *outcome ? kSuccess : kLibraryFailure;
}

int StatusOf(bool ok) { return ok ? kSuccess : kLibraryFailure; }

bool EraseSectors(const std::vector<std::uint32_t>& sectors) {
  bool ok = true;
  for (const std::uint32_t sector : sectors) {
    ok = Accept("FlashSectorErase(" + Hex(sector) + ")", FlashSectorErase(sector), kDone) && ok;
  }
  return ok;
}

bool ProgramRange(const std::string& path, std::uint32_t first, std::uint32_t last,
                  std::int32_t reverseBits) {
  return Accept("FlashProgram(" + Quoted(path) + ", " + Hex(first) + ", " + Hex(last) + ")",
                FlashProgram(path.c_str(), first, last, 0, 1, reverseBits), kDone);
}

// The menu's test: the extension, upper-cased, equals BIN.
bool IsCpuBinary(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return extension == "BIN";
}

void Remember(const std::string& stateFile, const LastCpuFile& last) {
  std::string error;
  if (!WriteLastCpuFile(stateFile, last, error))
    Complain("warning: update-cpu will not know this file: " + error);
}

int Setup(const Command& command) {
  struct PortText {
    std::int32_t port;
    const char* notFound;  // the GUI's message box
  };
  static const PortText kTexts[] = {
      {0, "Device not found at 3BCh, 378h, 278h"}, {0x3BC, "Device not found at 3BCh"},
      {0x378, "Device not found at 378h"},         {0x278, "Device not found at 278h"},
      {1, "Device not found at auxiliary port"},
  };
  const std::int32_t result = SetupOmrix(command.setupPort);
  if (result == 0) return kSuccess;
  for (const PortText& text : kTexts) {
    if (text.port == command.setupPort)
      Complain(std::string(text.notFound) + " -> result: " + ResultText(result));
  }
  return kLibraryFailure;
}

int Program(const Command& command, const std::string& stateFile) {
  const SlotLayout& layout = LayoutOf(command.slot);
  const std::string path = AbsolutePath(command.file);
  Show(layout.programLine);
  return StatusOf(InSetupConfiguration([&] {
    if (layout.cpuFile >= 0 && !IsCpuBinary(path)) {
      const std::uint32_t base = static_cast<std::uint32_t>(layout.cpuFile) * 0x10000;
      return Accept("BasicFlash(" + Quoted(path) + ", " + Hex(base) + ")",
                    BasicFlash(path.c_str(), base), kDone);
    }
    // Remembered before the erase and whatever the flash reports, as the GUI's fields are.
    if (layout.cpuFile >= 0) Remember(stateFile, {layout.cpuFile, path});
    const bool erased = EraseSectors(layout.programSectors);
    const bool programmed = ProgramRange(path, layout.first, layout.last, layout.reverseBits);
    return erased && programmed;
  }));
}

int Erase(const Command& command) {
  const SlotLayout& layout = LayoutOf(command.slot);
  return StatusOf(InSetupConfiguration([&] { return EraseSectors(layout.eraseSectors); }));
}

int Save(const Command& command) {
  const std::string path = AbsolutePath(command.file);
  return StatusOf(InSetupConfiguration([&] {
    return Accept("FlashRead2File(" + Quoted(path) + ", 0x0, 0x7BFFF)",
                  FlashRead2File(path.c_str(), 0x00000, 0x7BFFF), kDone);
  }));
}

int Fpga(const Command& command) {
  switch (command.fpgaSource) {
    case FpgaSource::Flash:
      return StatusOf(
          Accept("FpgaConfig(\"FLASH\", 0, 1)", FpgaConfig("FLASH", 0, 1), kFpgaLoaded));
    case FpgaSource::Clear:
      return StatusOf(Accept("FpgaConfig(\"CLEAR\", 0, 1)", FpgaConfig("CLEAR", 0, 1), kFpgaAny));
    case FpgaSource::File:
      break;
  }
  const std::string path = AbsolutePath(command.file);
  return StatusOf(Accept("FpgaConfig(" + Quoted(path) + ", 1, 1)", FpgaConfig(path.c_str(), 1, 1),
                         kFpgaLoaded));
}

int Cpu(const Command& command) {
  if (command.cpuDisable) {
    CpuReset(1);
  } else {
    CpuRunFile(command.cpuFile);
  }
  return kSuccess;
}

int BasicSave(const Command& command) {
  const std::string path = AbsolutePath(command.file);
  // No bracket: the RAM is reachable only through the run configuration, hence the note.
  Show("Device has to be configured for MCS BASIC-52\n");
  return StatusOf(
      Accept("Basic2File(" + Quoted(path) + ", 0x1000)", Basic2File(path.c_str(), 0x1000), kDone));
}

int Rate() {
  struct Measurement {
    std::int32_t kind;
    const char* format;
  };
  static const Measurement kMeasurements[] = {
      {2, "PC -> mm-bus: %lu Kbyte/sec, streaming\n"},
      {0, "PC -> mm-bus: %lu Kbyte/sec\n"},
      {3, "PC <- mm-bus: %lu Kbyte/sec, streaming\n"},
      {1, "PC <- mm-bus: %lu Kbyte/sec\n"},
  };
  Show("Check transfer rates\n");
  return StatusOf(InSetupConfiguration([] {
    for (const Measurement& measurement : kMeasurements) {
      const std::uint32_t rate = GetTransferRate(measurement.kind, 3, 2, 100);
      char line[64];
      std::snprintf(line, sizeof line, measurement.format, static_cast<unsigned long>(rate));
      Show(line);
    }
    return true;
  }));
}

int UpdateCpu(const std::string& stateFile) {
  const std::optional<LastCpuFile> last = ReadLastCpuFile(stateFile);
  if (!last) {
    Show("ERROR: can\xB4t repeat command, first use 'File - Program flash - CPU fileX ...'\n");
    Complain("no CPU binary remembered --> run 'omrixctl program cpuN FILE.bin' first");
    return kLibraryFailure;
  }
  static const Slot kCpuSlots[] = {Slot::Cpu0, Slot::Cpu1, Slot::Cpu2, Slot::Cpu3};
  const SlotLayout& layout = LayoutOf(kCpuSlots[last->slot]);
  const std::optional<bool> outcome = InSetupConfiguration([&] {
    Show(layout.programLine);
    const bool erased = EraseSectors(layout.programSectors);
    const bool programmed = ProgramRange(last->path, layout.first, layout.last, 0);
    return erased && programmed;
  });
  if (!outcome) return kLibraryFailure;
  // The CPU restarts even after a failed programming, as the GUI's command does.
  CpuRunFile(last->slot);
  return StatusOf(*outcome);
}

int UpdateFpga(const std::string& stateFile) {
  const bool reloaded = Accept("FpgaCfgForSetup(0, 1)", FpgaCfgForSetup(0, 1), kFpgaAny);
  if (const std::optional<LastCpuFile> last = ReadLastCpuFile(stateFile)) CpuRunFile(last->slot);
  return StatusOf(reloaded);
}

int Out(const Command& command) {
  outbyte(command.address, command.data);
  char line[64];
  std::snprintf(line, sizeof line, "%.2Xh written to address %.2Xh\n",
                static_cast<unsigned>(command.data), static_cast<unsigned>(command.address));
  Show(line);
  return kSuccess;
}

int In(const Command& command) {
  const std::int32_t value = inbyte(command.address) & 0xFF;
  char line[64];
  std::snprintf(line, sizeof line, "%.2Xh read from address %.2Xh\n", static_cast<unsigned>(value),
                static_cast<unsigned>(command.address));
  Show(line);
  return kSuccess;
}

int Init(const Command& command) {
  PPinitSet(command.level);
  Show(command.level ? "Signal PPinit set, now at high level, default setting\n"
                     : "Signal PPinit reset, now at low level\n");
  return kSuccess;
}

int Ack() {
  Show(PPackGet() ? "1\n" : "0\n");
  return kSuccess;
}

}  // namespace

int RunSubcommand(const Command& command, std::int32_t startResult, const std::string& stateFile) {
  if (command.subcommand == Subcommand::Start) {
    if (startResult == 0) return kSuccess;
    Complain("device not found -> result: " + ResultText(startResult));
    return kLibraryFailure;
  }
  // Every menu command begins with an empty line in the output window.
  Show("\n");
  switch (command.subcommand) {
    case Subcommand::Start:
      break;
    case Subcommand::Setup:
      return Setup(command);
    case Subcommand::Program:
      return Program(command, stateFile);
    case Subcommand::Erase:
      return Erase(command);
    case Subcommand::Save:
      return Save(command);
    case Subcommand::Fpga:
      return Fpga(command);
    case Subcommand::Cpu:
      return Cpu(command);
    case Subcommand::Basic:
      return BasicSave(command);
    case Subcommand::Rate:
      return Rate();
    case Subcommand::UpdateCpu:
      return UpdateCpu(stateFile);
    case Subcommand::UpdateFpga:
      return UpdateFpga(stateFile);
    case Subcommand::Out:
      return Out(command);
    case Subcommand::In:
      return In(command);
    case Subcommand::Init:
      return Init(command);
    case Subcommand::Ack:
      return Ack();
  }
  return kLibraryFailure;
}

}  // namespace omrix::cli
