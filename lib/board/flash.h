// The board's flash memory: its bus cycles through the setup design's flash window, the
// command sequences, and the operations on files and slots.
#pragma once

#include <cstdint>

#include "board/flash_map.h"

namespace omrix {

std::int32_t FlashChipErase();
std::int32_t FlashSectorErase(std::uint32_t sectorAddress);
std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                          std::uint32_t endAddress, std::uint32_t fileOffset, std::int32_t verify,
                          std::int32_t reverseBits);
std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress,
                         std::uint32_t endAddress, std::uint32_t fileOffset,
                         std::int32_t reverseBits);
std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                            std::uint32_t endAddress);

void FlashReset();
// A run of reads: select and read strobe held, only the address bytes that change written.
void EnterReadMode();
void LeaveReadMode();
std::uint8_t FlashReadNext(std::uint32_t address, std::uint32_t previousAddress);
void FlashReadBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer);
int FlashWriteBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer);
// Four bytes from `address` on, least significant first.
std::uint32_t ReadFlashWord(std::uint32_t address);
int FlashProgramByte(std::uint32_t address, std::uint8_t data);

// How long completion polling waits, in ticks (ms), before it gives up: far beyond the chip's
// worst case, so only a board that stopped answering reaches it.
struct FlashDeadlines {
  std::uint32_t byteProgramMs = 100;
  std::uint32_t sectorEraseMs = 30'000;
  std::uint32_t chipEraseMs = 200'000;
};
// Test seam: shorter deadlines keep the tests of a dead board quick.
void SetFlashDeadlines(const FlashDeadlines& deadlines);

}  // namespace omrix
