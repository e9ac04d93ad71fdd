// Every command of the program's menus, and the start-up and shutdown steps that call the
// library, written once for every front end against three seams: the library's exports, an
// output, and a person to ask.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "flash_slots.h"
#include "library.h"
#include "menu.h"
#include "seams.h"
#include "test_routines.h"

namespace omrix::commands {

// The CPU binary last programmed from a CPU item of Program flash, which UpdateCPU repeats.
struct LastCpuFile {
  std::int32_t slot = 0;
  std::string path = " ";  // one blank: none since the program started
  bool known() const { return path != " "; }
};

struct StepFailure {
  std::string step;  // e.g. "FlashSectorErase(0x10000)", or why the input was refused
  std::int32_t code = 0;
  bool libraryCall = true;  // false: refused before any library call, code means nothing
};

struct CommandResult {
  std::optional<StepFailure> failure;  // the first step that did not succeed
  std::vector<CommandId> posted;       // to run behind this command, in this order

  bool succeeded() const { return !failure; }
  // Records the first failure; true when `code` is one of `good`.
  bool Check(const std::string& step, std::int32_t code, std::initializer_list<std::int32_t> good);
  void Refuse(const std::string& step);
};

class MenuCommands {
 public:
  // While it lives, the library's texts go to `output`. `sleep` paces the test routines'
  // waiting loop.
  MenuCommands(Library library, Output& output, Prompts& prompts, TestRoutines::Sleep sleep = {});
  ~MenuCommands();
  MenuCommands(const MenuCommands&) = delete;
  MenuCommands& operator=(const MenuCommands&) = delete;

  // Start-up: banner, operating-system line, driver, then "omrix.dat" with its dispatch.
  void PrintBanner();
  void PrintOperatingSystem(const std::string& kernelRelease);
  CommandResult BringUpDriver();
  CommandResult InterpretSetupData();

  // A menu command or one the program posts to itself. The program's own steps (window
  // placement, log file, About) are the front end's; ID_SHUTDOWN here closes the driver.
  CommandResult Run(CommandId id);

  bool DeviceInitialized();

  // What the Commandline item's dialog runs; the item itself prints their help.
  TestRoutines& testRoutines() { return testRoutines_; }

  LastCpuFile lastCpuFile;

 private:
  void Append(const std::string& text);
  CommandResult Setup(std::int32_t port, const char* notFound);
  CommandResult ProgramFlash(FlashSlot slot);
  CommandResult SaveFlash();
  CommandResult EraseFlash(FlashSlot slot);
  CommandResult ConfigViaPc();
  CommandResult ConfigFpga(const char* source, std::initializer_list<std::int32_t> good);
  CommandResult RunCpu(std::int32_t file);
  CommandResult DisableCpu();
  CommandResult SaveBasicRam();
  CommandResult CheckTransferRate();
  CommandResult UpdateCpu();
  CommandResult UpdateFpga();
  // The I/O tests and cable emulations; nothing for any other command.
  std::optional<CommandResult> RunServiceTool(CommandId id);
  void RestoreRunConfiguration(CommandResult& result);
  CommandResult StartupReconfig();
  CommandResult StartupIdCodes();
  CommandResult StartupJtag();
  CommandResult Exit();
  CommandResult Shutdown();

  // The chooser's path, or nothing: cancelled, or refused with its line.
  std::optional<std::string> Choose(const FileChooser& chooser, CommandResult& result);
  // Whether `path` is a readable regular file of at most `capacity` bytes; says why not.
  bool FileFits(const std::string& path, std::uint64_t capacity, const char* where,
                CommandResult& result);
  void EraseSectors(const std::vector<std::uint32_t>& sectors, CommandResult& result);
  void Program(const std::string& path, const FlashSlotLayout& layout, CommandResult& result);
  // The flash bracket: setup configuration, the work, run configuration; nothing at all when
  // the setup configuration cannot be loaded.
  template <typename Work>
  bool InSetupConfiguration(CommandResult& result, Work work);

  Library library_;
  Output& output_;
  Prompts& prompts_;
  TestRoutines testRoutines_;
};

// The longest path the library's file-name fields hold; the library is never handed a longer
// one, which they would cut.
inline constexpr std::size_t kLongestPath = 259;
// The line that refuses a longer path.
std::string LongPathLine(const std::string& path);

}  // namespace omrix::commands
