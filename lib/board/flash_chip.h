// The board's flash chip: its bus cycles through the setup design's flash window and its
// command sequences. No messages and no records: the operations on files and slots add them.
#pragma once

#include <cstdint>

namespace omrix {

void FlashReset();
// A run of reads: select and read strobe held, only the address bytes that change written.
void EnterReadMode();
void LeaveReadMode();
std::uint8_t FlashReadNext(std::uint32_t address, std::uint32_t previousAddress);
void FlashReadBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer);
int FlashWriteBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer);
// Four bytes from `address` on, least significant first.
std::uint32_t ReadFlashWord(std::uint32_t address);
// OMRIX_FLASH_DONE, or OMRIX_FLASH_TIMEOUT when the chip reports its time limit or stops
// answering.
int FlashProgramByte(std::uint32_t address, std::uint8_t data);

// An erase runs in two steps, so that the caller can say what it does while the chip works:
// the start leaves the chip in read mode, the wait polls it (results as FlashProgramByte) and
// leaves it there.
void StartChipErase();
void StartSectorErase(std::uint32_t sectorAddress);
int AwaitChipErase();
int AwaitSectorErase();
// Control lines back to idle after a run of writes.
void ReleaseFlash();

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
