// The flash memory map as the library keeps it: the public constants, and for each slot the
// record of what it holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/library_state.h"
#include "omrix/omrix_dll.h"

namespace omrix {

inline constexpr std::uint32_t kFlashSectors[] = {OMRIX_FLASH_SECTORS};
inline constexpr std::uint32_t kUserSpaceEnd = OMRIX_FLASH_USER_LAST;
inline constexpr std::uint32_t kIdentifierSector = OMRIX_FLASH_IDENTIFIER_SECTOR;

struct FlashSlotRecord {
  std::uint32_t first;
  std::uint32_t last;
  FileNameField LibraryState::*name;  // memory's record of what the slot holds
  const char* label;                  // its line in the flash content section of "omrix.dat"
};

// In the order of the flash content section.
inline constexpr FlashSlotRecord kFlashSlots[] = {
    {OMRIX_FLASH_FPGA0_FIRST, OMRIX_FLASH_FPGA0_LAST, &LibraryState::flashFpgaFile0, "FPGA file0"},
    {OMRIX_FLASH_FPGA1_FIRST, OMRIX_FLASH_FPGA1_LAST, &LibraryState::flashFpgaFile1, "FPGA file1"},
    {OMRIX_FLASH_CPU0_FIRST, OMRIX_FLASH_CPU0_LAST, &LibraryState::flashCpuFile0, "CPU file0"},
    {OMRIX_FLASH_CPU1_FIRST, OMRIX_FLASH_CPU1_LAST, &LibraryState::flashCpuFile1, "CPU file1"},
    {OMRIX_FLASH_CPU2_FIRST, OMRIX_FLASH_CPU2_LAST, &LibraryState::flashCpuFile2, "CPU file2"},
    {OMRIX_FLASH_CPU3_FIRST, OMRIX_FLASH_CPU3_LAST, &LibraryState::flashCpuFile3, "CPU file3"},
};
inline constexpr std::size_t kFlashSlotCount = sizeof kFlashSlots / sizeof kFlashSlots[0];

inline FileNameField& SlotName(const FlashSlotRecord& slot) { return state.*slot.name; }

}  // namespace omrix
