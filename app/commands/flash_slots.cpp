#include "flash_slots.h"

namespace omrix::commands {

namespace {

const std::vector<FileType> kBitFiles = {{"FPGA config file (*.bit)", "*.bit"}};
const std::vector<FileType> kCpuFiles = {{"CPU program file (*.bin)", "*.bin"},
                                         {"MCS BASIC-52 file (*.b52)", "*.b52"}};
const std::vector<FileType> kRomFiles = {{"ROM mirror file (*.rom)", "*.rom"}};

FileChooser OpenChooser(const char* title, const std::vector<FileType>& types) {
  return {FileChooser::Kind::Open, title, types, types.front().pattern};
}

// clang-format off
const std::vector<FlashSlotLayout>& Layouts() {
  static const std::vector<FlashSlotLayout> layouts = {
      {FlashSlot::Fpga0, "FPGA file0", "Program flash memory user space FPGA file0 (default) ...\n",
       {0x40000, 0x50000}, {0x40000, 0x50000}, 0x40000, 0x5FFFF, 1, -1,
       OpenChooser("Program flash memory user space FPGA file0 (default)", kBitFiles)},
      {FlashSlot::Fpga1, "FPGA file1", "Program flash memory user space FPGA file1 ...\n",
       {0x60000, 0x70000}, {0x60000, 0x70000}, 0x60000, 0x77FFF, 1, -1,
       OpenChooser("Program flash memory user space FPGA file1", kBitFiles)},
      {FlashSlot::Cpu0, "CPU file0", "Program flash memory user space CPU file0 (default) ...\n",
       {0x00000}, {0x00000}, 0x00000, 0x0FFFF, 0, 0,
       OpenChooser("Program flash memory user space CPU file0 (default)", kCpuFiles)},
      {FlashSlot::Cpu1, "CPU file1", "Program flash memory user space CPU file1 ...\n",
       {0x10000}, {0x10000}, 0x10000, 0x1FFFF, 0, 1,
       OpenChooser("Program flash memory user space CPU file1", kCpuFiles)},
      {FlashSlot::Cpu2, "CPU file2", "Program flash memory user space CPU file2 ...\n",
       {0x20000}, {0x20000}, 0x20000, 0x2FFFF, 0, 2,
       OpenChooser("Program flash memory user space CPU file2", kCpuFiles)},
      {FlashSlot::Cpu3, "CPU file3", "Program flash memory user space CPU file3 ...\n",
       {0x30000}, {0x30000}, 0x30000, 0x3FFFF, 0, 3,
       OpenChooser("Program flash memory user space CPU file3", kCpuFiles)},
      // Programming the whole space erases ten sectors; the Erase item leaves the last two.
      {FlashSlot::All, "the user space", "Program flash memory user space ...\n",
       {0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000, 0x60000, 0x70000, 0x78000, 0x7A000},
       {0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000, 0x60000, 0x70000},
       0x00000, 0x7BFFF, 0, -1,
       OpenChooser("Program flash memory user space", kRomFiles)},
  };
  return layouts;
}
// clang-format on

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
