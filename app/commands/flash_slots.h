// The flash slots of the user space as the menu commands use them: one table.
#pragma once

#include <cstdint>
#include <vector>

#include "seams.h"

namespace omrix::commands {

enum class FlashSlot { Fpga0, Fpga1, Cpu0, Cpu1, Cpu2, Cpu3, All };

struct FlashSlotLayout {
  FlashSlot slot;
  const char* name;                           // as the output names it, e.g. "CPU file1"
  const char* programLine;                    // printed before programming
  std::vector<std::uint32_t> programSectors;  // erased before programming, in this order
  std::vector<std::uint32_t> eraseSectors;    // the Erase flash item's sectors
  std::uint32_t first;
  std::uint32_t last;
  std::int32_t reverseBits;  // FPGA configurations are stored bit-reversed
  int cpuFile;               // 0-3 for the CPU slots, -1 otherwise
  FileChooser chooser;       // the Program flash item's

  std::uint64_t capacity() const { return std::uint64_t{last} - first + 1; }
  // FPGA slots hold a configuration, which is what the FPGA loads from flash.
  bool holdsConfiguration() const { return reverseBits != 0; }
};

const FlashSlotLayout& SlotLayout(FlashSlot slot);
// The CPU slot of a CPU file number; slot 0 for any number outside 1-3.
const FlashSlotLayout& CpuSlotLayout(std::int32_t cpuFile);

}  // namespace omrix::commands
