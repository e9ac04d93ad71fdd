#include "flash_slots.h"

#include <algorithm>

#include "omrix/omrix_dll.h"

namespace omrix::commands {

namespace {

const std::vector<FileType> kBitFiles = {{"FPGA config file (*.bit)", "*.bit"}};
const std::vector<FileType> kCpuFiles = {{"CPU program file (*.bin)", "*.bin"},
                                         {"MCS BASIC-52 file (*.b52)", "*.b52"}};
const std::vector<FileType> kRomFiles = {{"ROM mirror file (*.rom)", "*.rom"}};

FileChooser OpenChooser(const char* title, const std::vector<FileType>& types) {
  return {FileChooser::Kind::Open, title, types, types.front().pattern};
}

constexpr std::uint32_t kSectors[] = {OMRIX_FLASH_SECTORS};

// The sectors that start within first-last, bottom to top.
std::vector<std::uint32_t> SectorsIn(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> sectors;
  for (std::uint32_t sector : kSectors)
    if (sector >= first && sector <= last) sectors.push_back(sector);
  return sectors;
}

FlashSlotLayout Slot(FlashSlot slot, const char* name, const char* programLine, std::uint32_t first,
                     std::uint32_t last, std::int32_t reverseBits, int cpuFile,
                     FileChooser chooser) {
  const std::vector<std::uint32_t> sectors = SectorsIn(first, last);
  return {slot, name, programLine, sectors, sectors, first, last, reverseBits, cpuFile, chooser};
}

const std::vector<FlashSlotLayout>& Layouts() {
  static const std::vector<FlashSlotLayout> layouts = [] {
    std::vector<FlashSlotLayout> slots = {
        Slot(FlashSlot::Fpga0, "FPGA file0",
             "Program flash memory user space FPGA file0 (default) ...\n", OMRIX_FLASH_FPGA0_FIRST,
             OMRIX_FLASH_FPGA0_LAST, 1, -1,
             OpenChooser("Program flash memory user space FPGA file0 (default)", kBitFiles)),
        Slot(FlashSlot::Fpga1, "FPGA file1", "Program flash memory user space FPGA file1 ...\n",
             OMRIX_FLASH_FPGA1_FIRST, OMRIX_FLASH_FPGA1_LAST, 1, -1,
             OpenChooser("Program flash memory user space FPGA file1", kBitFiles)),
        Slot(FlashSlot::Cpu0, "CPU file0",
             "Program flash memory user space CPU file0 (default) ...\n", OMRIX_FLASH_CPU0_FIRST,
             OMRIX_FLASH_CPU0_LAST, 0, 0,
             OpenChooser("Program flash memory user space CPU file0 (default)", kCpuFiles)),
        Slot(FlashSlot::Cpu1, "CPU file1", "Program flash memory user space CPU file1 ...\n",
             OMRIX_FLASH_CPU1_FIRST, OMRIX_FLASH_CPU1_LAST, 0, 1,
             OpenChooser("Program flash memory user space CPU file1", kCpuFiles)),
        Slot(FlashSlot::Cpu2, "CPU file2", "Program flash memory user space CPU file2 ...\n",
             OMRIX_FLASH_CPU2_FIRST, OMRIX_FLASH_CPU2_LAST, 0, 2,
             OpenChooser("Program flash memory user space CPU file2", kCpuFiles)),
        Slot(FlashSlot::Cpu3, "CPU file3", "Program flash memory user space CPU file3 ...\n",
             OMRIX_FLASH_CPU3_FIRST, OMRIX_FLASH_CPU3_LAST, 0, 3,
             OpenChooser("Program flash memory user space CPU file3", kCpuFiles)),
        // Programming the whole space erases every sector below the identifier block; the
        // Erase item erases only the slots' sectors, and leaves the two above them.
        Slot(FlashSlot::All, "the user space", "Program flash memory user space ...\n",
             OMRIX_FLASH_USER_FIRST, OMRIX_FLASH_USER_LAST, 0, -1,
             OpenChooser("Program flash memory user space", kRomFiles)),
    };
    std::vector<std::uint32_t>& slotSectors = slots.back().eraseSectors;
    slotSectors.clear();
    for (auto slot = slots.begin(); slot + 1 != slots.end(); ++slot)
      slotSectors.insert(slotSectors.end(), slot->eraseSectors.begin(), slot->eraseSectors.end());
    std::sort(slotSectors.begin(), slotSectors.end());
    return slots;
  }();
  return layouts;
}

}  // namespace

const FlashSlotLayout& SlotLayout(FlashSlot slot) {
  for (const FlashSlotLayout& layout : Layouts())
    if (layout.slot == slot) return layout;
  return Layouts().back();
}

const FlashSlotLayout& CpuSlotLayout(std::int32_t cpuFile) {
  static const FlashSlot kCpuSlots[] = {FlashSlot::Cpu0, FlashSlot::Cpu1, FlashSlot::Cpu2,
                                        FlashSlot::Cpu3};
  return SlotLayout(cpuFile >= 1 && cpuFile <= 3 ? kCpuSlots[cpuFile] : FlashSlot::Cpu0);
}

}  // namespace omrix::commands
