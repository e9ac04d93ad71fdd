// The flash operations on files, ranges and slots, with their messages and slot records.
#pragma once

#include <cstdint>

#include "board/flash_map.h"

namespace omrix {

std::int32_t FlashChipErase();
std::int32_t FlashSectorErase(std::uint32_t sectorAddress);
std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                          std::uint32_t endAddress, std::uint32_t fileOffset, std::int32_t verify,
                          std::int32_t reverseBits);
std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress, std::uint32_t endAddress,
                         std::uint32_t fileOffset, std::int32_t reverseBits);
std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                            std::uint32_t endAddress);

}  // namespace omrix
