#include "menu_commands.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace omrix::commands {

namespace {

// Basic2File reads the CPU's RAM from 0x200 up to here.
constexpr std::uint32_t kBasicRamEnd = 0x1000;
// GetTransferRate: mm-bus addresses written and read, and how much is moved.
constexpr std::int32_t kRateWriteAddress = 3;
constexpr std::int32_t kRateReadAddress = 2;
constexpr std::int32_t kRateKilobytes = 100;

const char* const kStars = "*********************************************************\n";

struct SetupItem {
  CommandId id;
  std::int32_t port;  // SetupOmrix: 0 searches, 1 is the auxiliary port
  const char* notFound;
};
constexpr SetupItem kSetupItems[] = {
    {ID_SETUP_AUTO, 0, "Device not found at 3BCh, 378h, 278h"},
    {ID_SETUP_3BC, 0x3BC, "Device not found at 3BCh"},
    {ID_SETUP_378, 0x378, "Device not found at 378h"},
    {ID_SETUP_278, 0x278, "Device not found at 278h"},
    {ID_SETUP_AUX, 1, "Device not found at auxiliary port"},
};

struct SlotItem {
  CommandId program;
  CommandId erase;
  FlashSlot slot;
};
constexpr SlotItem kSlotItems[] = {
    {ID_PROGRAM_FPGA0, ID_ERASE_FPGA0, FlashSlot::Fpga0},
    {ID_PROGRAM_FPGA1, ID_ERASE_FPGA1, FlashSlot::Fpga1},
    {ID_PROGRAM_CPU0, ID_ERASE_CPU0, FlashSlot::Cpu0},
    {ID_PROGRAM_CPU1, ID_ERASE_CPU1, FlashSlot::Cpu1},
    {ID_PROGRAM_CPU2, ID_ERASE_CPU2, FlashSlot::Cpu2},
    {ID_PROGRAM_CPU3, ID_ERASE_CPU3, FlashSlot::Cpu3},
    {ID_PROGRAM_ALL, ID_ERASE_ALL, FlashSlot::All},
};

constexpr CommandId kCpuRunItems[] = {ID_CPU_RUN0, ID_CPU_RUN1, ID_CPU_RUN2, ID_CPU_RUN3};

struct RateMeasurement {
  std::int32_t kind;
  const char* format;
};
constexpr RateMeasurement kRateMeasurements[] = {
    {2, "PC -> mm-bus: %ld Kbyte/sec, streaming\n"},
    {0, "PC -> mm-bus: %ld Kbyte/sec\n"},
    {3, "PC <- mm-bus: %ld Kbyte/sec, streaming\n"},
    {1, "PC <- mm-bus: %ld Kbyte/sec\n"},
};

const FileChooser kSaveFlashChooser{FileChooser::Kind::Save,
                                    "Save flash memory user space",
                                    {{"ROM mirror file (*.rom)", "*.rom"}},
                                    "*.rom"};
const FileChooser kConfigChooser{FileChooser::Kind::Open,
                                 "Config FPGA via PC",
                                 {{"FPGA config file (*.bit)", "*.bit"}},
                                 "*.bit"};
// An open chooser although it names a file to be written, as the program has always had it.
const FileChooser kBasicRamChooser{FileChooser::Kind::Open,
                                   "Save MCS BASIC-52 program from RAM to disk",
                                   {{"MCS BASIC-52 program (*.b52)", "*.b52"}},
                                   "*.b52"};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return buffer;
}

std::string Hex(std::uint32_t value) { return Format("0x%X", static_cast<unsigned>(value)); }

// The menu's test of a CPU file: its extension, upper-cased, is BIN.
bool IsCpuBinary(const std::string& path) {
  const std::size_t slash = path.find_last_of(DirectorySeparators());
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return extension == "BIN";
}

// Where the library's texts go: the message function is a plain C function. The newest
// commands have them; when those go, the ones before have them again, whatever the order.
std::vector<Output*> libraryMessages;

void RouteLibraryMessage(const char* text) {
  if (libraryMessages.empty() || text == nullptr) return;
  Output& output = *libraryMessages.back();
  output.AppendOutput(text);
  // Some of its texts about its own files name neither where they lie nor why they failed.
  const std::string note = UnplacedFileNote(text);
  if (!note.empty()) output.AppendOutput(note);
}

// The sync word as people read it in a dump: "AA 99 55 66".
std::string SyncWordText() {
  constexpr int kBytes = 4;
  std::string text;
  for (int shift = 8 * (kBytes - 1); shift >= 0; shift -= 8)
    text += Format(shift > 0 ? "%02X " : "%02X", (OMRIX_SYNC_WORD >> shift) & 0xFFu);
  return text;
}

}  // namespace

bool CommandResult::Check(const std::string& step, std::int32_t code,
                          std::initializer_list<std::int32_t> good) {
  if (std::find(good.begin(), good.end(), code) != good.end()) return true;
  if (!failure) failure = StepFailure{step, code};
  return false;
}

void CommandResult::Refuse(const std::string& step) {
  if (!failure) failure = StepFailure{step, 0, false};
}

void CommandResult::Cancel() {
  if (!failure) failure = StepFailure{"no file chosen", 0, false, true};
}

std::string FailureText(const StepFailure& failure) {
  if (!failure.libraryCall) return failure.step;
  // The flash and setup results are small numbers; the FPGA's are bits from 0x100 up.
  constexpr std::int32_t kFirstBitResult = 0x100;
  const bool small = failure.code >= 0 && failure.code < kFirstBitResult;
  return failure.step + " -> result: " +
         (small ? std::to_string(failure.code) : Hex(static_cast<std::uint32_t>(failure.code)));
}

MenuCommands::MenuCommands(Library library, Output& output, Prompts& prompts,
                           TestRoutines::Sleep sleep)
    : library_(std::move(library)),
      output_(output),
      prompts_(prompts),
      testRoutines_(library_, output_, prompts_, std::move(sleep)) {
  libraryMessages.push_back(&output_);
}

MenuCommands::~MenuCommands() {
  libraryMessages.erase(std::find(libraryMessages.begin(), libraryMessages.end(), &output_));
}

void MenuCommands::Append(const std::string& text) { output_.AppendOutput(text); }

void MenuCommands::PrintBanner() {
  Append(kStars);
  Append("           omrix for Windows 9x/NT 4.0 based OS\n");
  Append("   setup, test and control routines for omrix/pRAXnode\n");
  Append("         (c) Varnotek 2005\n");
  Append(std::string(kStars) + "\n");
}

void MenuCommands::PrintOperatingSystem(const std::string& kernelRelease) {
  Append("Operating system ...\t--> Linux " + kernelRelease + "\n");
}

CommandResult MenuCommands::BringUpDriver() {
  CommandResult result;
  if (library_.HwaccInit_EnableDllMessages(&RouteLibraryMessage) != 0) return result;
  result.failure = StepFailure{"HwaccInit_EnableDllMessages", 0};
  prompts_.MessageBox(
      "FATAL ERROR: The driver for hardware access could not be installed\n"
      "INFO: Administrator privileges necessary\nPROGRAM TERMINATED",
      Buttons::Ok, Icon::Exclamation);
  result.posted.push_back(ID_APP_EXIT);  // the close request, through the orderly shutdown
  return result;
}

CommandResult MenuCommands::InterpretSetupData() {
  CommandResult result;
  const std::int32_t code = library_.InterpreteOmrixDat();
  result.Check("InterpreteOmrixDat", code, {OMRIX_START_READY});
  switch (code) {
    case OMRIX_START_READY: result.posted.push_back(ID_STARTUP_RECONFIG); break;
    case OMRIX_START_CODES_PROGRAMMED: result.posted.push_back(ID_STARTUP_IDCODES); break;
    case OMRIX_START_JTAG_PREPARED: result.posted.push_back(ID_STARTUP_JTAG); break;
    default: prompts_.MessageBox("device not found", Buttons::Ok, Icon::Exclamation); break;
  }
  return result;
}

bool MenuCommands::DeviceInitialized() {
  return library_.IsDeviceInitialized && library_.IsDeviceInitialized() != 0;
}

CommandResult MenuCommands::Run(CommandId id) {
  for (const SetupItem& item : kSetupItems)
    if (item.id == id) return Setup(item.port, item.notFound);
  for (const SlotItem& item : kSlotItems) {
    if (item.program == id) return ProgramFlash(item.slot);
    if (item.erase == id) return EraseFlash(item.slot);
  }
  for (std::int32_t file = 0; file < 4; ++file)
    if (kCpuRunItems[file] == id) return RunCpu(file);
  if (std::optional<CommandResult> result = RunServiceTool(id)) return *result;
  switch (id) {
    case ID_SAVE_FLASH: return SaveFlash();
    case ID_FPGA_CONFIG_PC: return ConfigViaPc();
    case ID_FPGA_CONFIG_FLASH:
      return ConfigFpga("FLASH", {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER});
    case ID_FPGA_CLEAR: return ConfigFpga("CLEAR", {OMRIX_FPGA_CLEARED});
    case ID_CPU_DISABLE: return DisableCpu();
    case ID_SAVE_BASIC_RAM: return SaveBasicRam();
    case ID_CHECK_TRANSFER_RATE: return CheckTransferRate();
    case ID_COMMANDLINE: testRoutines_.PrintHelp(); return {};
    case ID_UPDATE_CPU: return UpdateCpu();
    case ID_UPDATE_FPGA: return UpdateFpga();
    case ID_STARTUP_RECONFIG: return StartupReconfig();
    case ID_STARTUP_IDCODES: return StartupIdCodes();
    case ID_STARTUP_JTAG: return StartupJtag();
    case ID_APP_EXIT: return Exit();
    case ID_SHUTDOWN: return Shutdown();
    default: break;
  }
  CommandResult result;
  result.Refuse(Format("command %d", static_cast<int>(id)));
  return result;
}

CommandResult MenuCommands::Setup(std::int32_t port, const char* notFound) {
  CommandResult result;
  Append("\n");
  if (!result.Check(Format("SetupOmrix(%s)", Hex(static_cast<std::uint32_t>(port)).c_str()),
                    library_.SetupOmrix(port), {OMRIX_SETUP_DONE}))
    prompts_.MessageBox(notFound, Buttons::Ok, Icon::Exclamation);
  return result;
}

std::optional<std::string> MenuCommands::Choose(const FileChooser& chooser, CommandResult& result) {
  std::optional<std::string> path = prompts_.ChooseFile(chooser);
  if (!path) {
    result.Cancel();
    return std::nullopt;
  }
  Append("\n");
  return path;
}

bool MenuCommands::Recordable(const std::string& path, CommandResult& result) {
  const std::string line = UnrecordableNameLine(path);
  if (line.empty()) return true;
  Append(line);
  result.Refuse(path.size() > kLongestPath ? "file name too long, nothing done"
                                           : "file name cannot be recorded, nothing done");
  return false;
}

std::optional<CheckedFile> MenuCommands::Readable(const std::string& path, CommandResult& result) {
  std::string reason;
  std::optional<CheckedFile> file = CheckedFile::Open(path, reason);
  if (!file) {
    Append("-> ERROR: Could not open file '" + path + "': " + reason + "\n");
    result.Refuse("cannot read '" + path + "': " + reason + ", nothing erased");
  }
  return file;
}

std::optional<CheckedFile> MenuCommands::FitsSlot(const std::string& path,
                                                  const FlashSlotLayout& layout,
                                                  CommandResult& result) {
  std::optional<CheckedFile> file = Readable(path, result);
  if (!file) return file;
  if (file->size() > layout.capacity()) {
    Append("-> ERROR: file '" + path + "' has " + std::to_string(file->size()) + " bytes, " +
           layout.name + " holds " + std::to_string(layout.capacity()) + ": nothing erased\n");
    result.Refuse("'" + path + "' is larger than " + layout.name + ", nothing erased");
    return std::nullopt;
  }
  if (!layout.holdsConfiguration()) return file;
  // What the FPGA would load from the slot at every later start: the check Config via PC makes.
  std::vector<std::uint8_t> bytes;
  std::string reason;
  if (!file->Read(bytes, reason)) {
    Append("-> ERROR: Could not read file '" + path + "': " + reason + "\n");
    result.Refuse("cannot read '" + path + "': " + reason + ", nothing erased");
    return std::nullopt;
  }
  switch (OmrixCheckConfiguration(bytes.data(), bytes.size())) {
    case OMRIX_CONFIGURATION_WHOLE: return file;
    case OMRIX_CONFIGURATION_TRUNCATED:
      Append("-> ERROR: file '" + path +
             "' is truncated, its header declares more bytes than "
             "the file holds: nothing erased\n");
      result.Refuse("'" + path + "' is truncated, nothing erased");
      return std::nullopt;
    default:
      Append("-> ERROR: file '" + path + "' holds no FPGA configuration, sync word " +
             SyncWordText() + " missing: nothing erased\n");
      result.Refuse("'" + path + "' is no FPGA configuration, nothing erased");
      return std::nullopt;
  }
}

template <typename Work>
bool MenuCommands::InSetupConfiguration(CommandResult& result, Work work) {
  if (!result.Check("FpgaCfgForSetup(1, 0)", library_.FpgaCfgForSetup(1, 0), {OMRIX_FPGA_LOADED}))
    return false;
  work();
  RestoreRunConfiguration(result);
  return true;
}

void MenuCommands::EraseSectors(const std::vector<std::uint32_t>& sectors, CommandResult& result) {
  for (const std::uint32_t sector : sectors)
    result.Check("FlashSectorErase(" + Hex(sector) + ")", library_.FlashSectorErase(sector),
                 {OMRIX_FLASH_DONE});
}

void MenuCommands::Program(const CheckedFile& file, const FlashSlotLayout& layout,
                           CommandResult& result) {
  // The library opens the file by its name, after the setup configuration and the erase took
  // their time: whatever the name then stands for is what the slot receives.
  const std::string& path = file.path();
  if (!file.Unchanged()) {
    Append("-> ERROR: file '" + path + "' changed after it was checked: nothing erased\n");
    result.Refuse("'" + path + "' changed after it was checked, nothing erased");
    return;
  }
  EraseSectors(layout.programSectors, result);
  const std::int32_t code =
      library_.FlashProgram(path.c_str(), layout.first, layout.last, 0, 1, layout.reverseBits);
  if (code == OMRIX_FLASH_FILE_ERROR && !file.Unchanged()) {
    ProgramHeld(file, layout, result);
    return;
  }
  const bool programmed = result.Check(
      "FlashProgram('" + path + "', " + Hex(layout.first) + ", " + Hex(layout.last) + ")", code,
      {OMRIX_FLASH_DONE});
  if (file.Unchanged()) return;
  if (programmed)
    Append("-> ERROR: file '" + path + "' changed while it was programmed: " + layout.name +
           " holds the file as it was read then, not as it is now\n");
  else
    Append("-> ERROR: file '" + path + "' changed while " + layout.name + " was programmed\n");
  result.Refuse("'" + path + "' changed while it was programmed");
}

void MenuCommands::ProgramHeld(const CheckedFile& file, const FlashSlotLayout& layout,
                               CommandResult& result) {
  // Its name went while the slot was erased; the file as it was checked is still open here.
  // Programmed without verification, the library records no name for it.
  const std::string held = file.HeldName();
  const bool programmed =
      result.Check(
          "FlashProgram('" + held + "')",
          library_.FlashProgram(held.c_str(), layout.first, layout.last, 0, 0, layout.reverseBits),
          {OMRIX_FLASH_DONE}) &&
      result.Check(
          "FlashVerify('" + held + "')",
          library_.FlashVerify(held.c_str(), layout.first, layout.last, 0, layout.reverseBits),
          {OMRIX_FLASH_DONE});
  if (programmed)
    Append("-> ERROR: file '" + file.path() + "' went while " + layout.name +
           " was erased: the slot holds the file as it was checked, its name is not recorded\n");
  else
    Append("-> ERROR: file '" + file.path() + "' went while " + layout.name + " was erased\n");
  result.Refuse("'" + file.path() + "' went while " + layout.name + " was erased");
}

CommandResult MenuCommands::ProgramFlash(FlashSlot slot) {
  CommandResult result;
  const FlashSlotLayout& layout = SlotLayout(slot);
  const std::optional<std::string> path = Choose(layout.chooser, result);
  if (!path) return result;
  // Only a binary's name is recorded: a BASIC-52 program is stored in the slot's BASIC area,
  // which has its own full check.
  const bool binary = layout.cpuFile < 0 || IsCpuBinary(*path);
  if (binary && !Recordable(*path, result)) return result;
  Append(layout.programLine);
  const std::optional<CheckedFile> file =
      binary ? FitsSlot(*path, layout, result) : Readable(*path, result);
  if (!file) return result;
  InSetupConfiguration(result, [&] {
    if (!binary) {
      result.Check("BasicFlash('" + *path + "', " + Hex(layout.first) + ")",
                   library_.BasicFlash(path->c_str(), layout.first), {OMRIX_FLASH_DONE});
      return;
    }
    // Remembered before the erase and whatever the flash reports: UpdateCPU repeats it.
    if (layout.cpuFile >= 0) lastCpuFile = {layout.cpuFile, *path};
    Program(*file, layout, result);
  });
  return result;
}

CommandResult MenuCommands::SaveFlash() {
  CommandResult result;
  const std::optional<std::string> path = Choose(kSaveFlashChooser, result);
  if (!path) return result;
  InSetupConfiguration(result, [&] {
    const FlashSlotLayout& space = SlotLayout(FlashSlot::All);
    result.Check(
        "FlashRead2File('" + *path + "', " + Hex(space.first) + ", " + Hex(space.last) + ")",
        library_.FlashRead2File(path->c_str(), space.first, space.last), {OMRIX_FLASH_DONE});
  });
  return result;
}

CommandResult MenuCommands::EraseFlash(FlashSlot slot) {
  CommandResult result;
  Append("\n");
  InSetupConfiguration(result, [&] { EraseSectors(SlotLayout(slot).eraseSectors, result); });
  return result;
}

CommandResult MenuCommands::ConfigViaPc() {
  CommandResult result;
  const std::optional<std::string> path = Choose(kConfigChooser, result);
  if (!path || !Recordable(*path, result)) return result;
  result.Check("FpgaConfig('" + *path + "', 1, 1)", library_.FpgaConfig(path->c_str(), 1, 1),
               {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER});
  return result;
}

CommandResult MenuCommands::ConfigFpga(const char* source,
                                       std::initializer_list<std::int32_t> good) {
  CommandResult result;
  Append("\n");
  result.Check(Format("FpgaConfig(\"%s\", 0, 1)", source), library_.FpgaConfig(source, 0, 1), good);
  return result;
}

CommandResult MenuCommands::RunCpu(std::int32_t file) {
  Append("\n");
  library_.CpuRunFile(file);
  return {};
}

CommandResult MenuCommands::DisableCpu() {
  Append("\n");
  library_.CpuReset(1);
  return {};
}

CommandResult MenuCommands::SaveBasicRam() {
  CommandResult result;
  const std::optional<std::string> path = Choose(kBasicRamChooser, result);
  if (!path) return result;
  // No bracket: only the run configuration reaches the CPU's RAM, hence the note.
  Append("Device has to be configured for MCS BASIC-52\n");
  result.Check("Basic2File('" + *path + "', 0x1000)",
               library_.Basic2File(path->c_str(), kBasicRamEnd), {OMRIX_BASIC_SAVED});
  return result;
}

CommandResult MenuCommands::CheckTransferRate() {
  CommandResult result;
  Append("\n");
  Append("Check transfer rates\n");
  InSetupConfiguration(result, [&] {
    for (const RateMeasurement& measurement : kRateMeasurements) {
      const std::uint32_t rate = library_.GetTransferRate(measurement.kind, kRateWriteAddress,
                                                          kRateReadAddress, kRateKilobytes);
      Append(Format(measurement.format, static_cast<long>(rate)));
    }
  });
  return result;
}

CommandResult MenuCommands::UpdateCpu() {
  CommandResult result;
  Append("\n");
  if (!lastCpuFile.known()) {
    Append("ERROR: can\xB4t repeat command, first use 'File - Program flash - CPU fileX ...'\n");
    result.Refuse("no CPU binary programmed yet --> run 'program cpuN FILE.bin' first");
    return result;
  }
  const FlashSlotLayout& layout = CpuSlotLayout(lastCpuFile.slot);
  // The binary may have gone or grown since: the slot keeps its program then.
  const std::optional<CheckedFile> file = FitsSlot(lastCpuFile.path, layout, result);
  if (!file) return result;
  if (!InSetupConfiguration(result, [&] {
        Append(layout.programLine);
        Program(*file, layout, result);
      }))
    return result;
  library_.CpuRunFile(layout.cpuFile);  // even after a failed programming
  return result;
}

CommandResult MenuCommands::UpdateFpga() {
  CommandResult result;
  Append("\n");
  result.Check("FpgaCfgForSetup(0, 1)", library_.FpgaCfgForSetup(0, 1),
               {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER, OMRIX_FPGA_CLEARED});
  // A reload that failed may have given the device up; a CPU start would then go nowhere.
  if (lastCpuFile.known() && DeviceInitialized()) library_.CpuRunFile(lastCpuFile.slot);
  return result;
}

CommandResult MenuCommands::StartupReconfig() {
  CommandResult result;
  if (prompts_.MessageBox("Re-config via PC ?", Buttons::OkCancel, Icon::Question) !=
      Answer::Cancel)
    result.posted.push_back(ID_FPGA_CONFIG_PC);
  return result;
}

CommandResult MenuCommands::StartupIdCodes() {
  CommandResult result;
  prompts_.MessageBox("device ID codes programmed\n\npressing OK will terminate application",
                      Buttons::Ok, Icon::Exclamation);
  result.posted.push_back(ID_APP_EXIT);
  return result;
}

CommandResult MenuCommands::StartupJtag() {
  CommandResult result;
  prompts_.MessageBox(
      "device prepared for internal programming via JTAG\n\nrun \xB4iMPACT\xB4 now !\n\n"
      "pressing OK will terminate application",
      Buttons::Ok, Icon::Exclamation);
  // The port lines are left to the JTAG tool: never the ordinary exit's mode 0.
  library_.DeInitOmrix(OMRIX_DEINIT_FOR_JTAG);
  result.posted.push_back(ID_SHUTDOWN);
  return result;
}

CommandResult MenuCommands::Exit() {
  CommandResult result;
  library_.DeInitOmrix(OMRIX_DEINIT_EXIT);
  result.posted.push_back(ID_SHUTDOWN);
  return result;
}

CommandResult MenuCommands::Shutdown() {
  library_.HwaccDeInit();
  return {};
}

}  // namespace omrix::commands
