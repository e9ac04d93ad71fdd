// Every command of the program's menus, and the start-up and shutdown steps that call the
// library, written once for every front end against three seams: the library's exports, an
// output, and a person to ask.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checked_file.h"
#include "command_result.h"
#include "flash_slots.h"
#include "library.h"
#include "library_files.h"
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

  // The chooser's path, or nothing when it was cancelled.
  std::optional<std::string> Choose(const FileChooser& chooser, CommandResult& result);
  // Whether the library can record `path`; says why not.
  bool Recordable(const std::string& path, CommandResult& result);
  // The file, open, when it can be read; says why not.
  std::optional<CheckedFile> Readable(const std::string& path, CommandResult& result);
  // The file, open, when it is one that `layout`'s slot holds (for an FPGA slot, a
  // configuration); says why not. Checked before anything is erased.
  std::optional<CheckedFile> FitsSlot(const std::string& path, const FlashSlotLayout& layout,
                                      CommandResult& result);
  void EraseSectors(const std::vector<std::uint32_t>& sectors, CommandResult& result);
  // Erases the slot and programs it from the file, which must stay what was checked.
  void Program(const CheckedFile& file, const FlashSlotLayout& layout, CommandResult& result);
  // Programs the erased slot from the file as it was checked, when its name went meanwhile.
  void ProgramHeld(const CheckedFile& file, const FlashSlotLayout& layout, CommandResult& result);
  // The flash bracket: setup configuration, the work, run configuration; nothing at all when
  // the setup configuration cannot be loaded.
  template <typename Work>
  bool InSetupConfiguration(CommandResult& result, Work work);

  Library library_;
  Output& output_;
  Prompts& prompts_;
  TestRoutines testRoutines_;
};

}  // namespace omrix::commands
