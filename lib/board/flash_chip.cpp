#include "flash_chip.h"

#include "bus/bus.h"
#include "omrix/omrix_dll.h"

namespace omrix {

namespace {

// mm-bus addresses of the flash window.
constexpr std::int32_t kFlashControl = 2;
constexpr std::int32_t kFlashData = 3;
constexpr std::int32_t kFlashAddress = 4;  // 4, 5, 6: bits 0-7, 8-15, 16-23

// Flash control register: chip select, its read and write strobes, the reset line.
constexpr std::uint8_t kIdle = 0x00;
constexpr std::uint8_t kSelect = 0x01;
constexpr std::uint8_t kSelectRead = 0x03;
constexpr std::uint8_t kSelectWrite = 0x05;
constexpr std::uint8_t kResetLine = 0x08;

// The chip's command set in byte mode: two unlock cycles, then the command.
constexpr std::uint32_t kUnlockAddress1 = 0xAAA;  // also where commands are written
constexpr std::uint8_t kUnlockData1 = 0xAA;
constexpr std::uint32_t kUnlockAddress2 = 0x555;
constexpr std::uint8_t kUnlockData2 = 0x55;
constexpr std::uint8_t kReadReset = 0xF0;
constexpr std::uint8_t kProgramByte = 0xA0;
constexpr std::uint8_t kEraseSetup = 0x80;
constexpr std::uint8_t kChipErase = 0x10;
constexpr std::uint8_t kSectorErase = 0x30;

// Status read while the chip works.
constexpr std::uint8_t kDataPolling = 0x80;        // DQ7: DATA# until the written value is there
constexpr std::uint8_t kTimeLimitExceeded = 0x20;  // DQ5
constexpr std::uint8_t kErasedByte = 0xFF;

constexpr std::uint32_t kResetPulseMs = 1;
constexpr std::uint32_t kResetRecoveryMs = 100;

FlashDeadlines deadlines;

void Control(std::uint8_t value) { outbyte(kFlashControl, value); }

void WriteAddress(std::uint32_t address) {
  for (int i = 0; i < 3; ++i)
    outbyte(kFlashAddress + i, static_cast<std::int32_t>((address >> (8 * i)) & 0xFF));
}

void FlashWriteCycle(std::uint32_t address, std::uint8_t data) {
  WriteAddress(address);
  outbyte(kFlashData, data);
  Control(kSelect);
  Control(kSelectWrite);
  Control(kSelect);
  Control(kIdle);
}

std::uint8_t FlashReadCycle(std::uint32_t address) {
  WriteAddress(address);
  Control(kSelect);
  Control(kSelectRead);
  const auto value = static_cast<std::uint8_t>(inbyte(kFlashData));
  Control(kSelect);
  Control(kIdle);
  return value;
}

// The unlock cycles and a command; an erase's second command goes to the sector it erases.
void IssueCommand(std::uint8_t command, std::uint32_t address = kUnlockAddress1) {
  FlashWriteCycle(kUnlockAddress1, kUnlockData1);
  FlashWriteCycle(kUnlockAddress2, kUnlockData2);
  FlashWriteCycle(address, command);
}

void Erase(std::uint8_t command, std::uint32_t address) {
  IssueCommand(kEraseSetup);
  IssueCommand(command, address);
}

// In read mode at the address of the last command cycle. 0 when the chip reports completion,
// 2 when it reports its time limit, or stops answering before `deadlineMs`.
int PollCompletion(std::uint8_t expected, std::uint32_t deadlineMs) {
  const std::uint32_t start = TickCount();
  const auto done = [expected](std::uint8_t status) {
    return ((status ^ expected) & kDataPolling) == 0;
  };
  for (;;) {
    const auto status = static_cast<std::uint8_t>(inbyte(kFlashData));
    if (done(status)) return OMRIX_FLASH_DONE;
    const bool timeLimit = (status & kTimeLimitExceeded) != 0;
    if (timeLimit || TickCount() - start > deadlineMs) {
      const bool doneAfterAll = done(static_cast<std::uint8_t>(inbyte(kFlashData)));
      return doneAfterAll ? OMRIX_FLASH_DONE : OMRIX_FLASH_TIMEOUT;
    }
  }
}

}  // namespace

void SetFlashDeadlines(const FlashDeadlines& newDeadlines) { deadlines = newDeadlines; }

void EnterReadMode() {
  Control(kSelect);
  Control(kSelectRead);
}

void LeaveReadMode() {
  Control(kSelect);
  Control(kIdle);
}

// In read mode: only the address bytes that changed are written.
std::uint8_t FlashReadNext(std::uint32_t address, std::uint32_t previousAddress) {
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t byte = (address >> (8 * i)) & 0xFF;
    if (byte != ((previousAddress >> (8 * i)) & 0xFF))
      outbyte(kFlashAddress + i, static_cast<std::int32_t>(byte));
  }
  return static_cast<std::uint8_t>(inbyte(kFlashData));
}

void FlashReset() {
  Control(kIdle);
  SleepMs(kResetPulseMs);
  Control(kResetLine);
  SleepMs(kResetPulseMs);
  Control(kIdle);
  SleepMs(kResetPulseMs);
  IssueCommand(kReadReset);
  Control(kSelect);
  Control(kSelectRead);
  Control(kSelect);
  Control(kIdle);
  SleepMs(kResetRecoveryMs);
}

int FlashProgramByte(std::uint32_t address, std::uint8_t data) {
  if (data == kErasedByte) return OMRIX_FLASH_DONE;  // an erased byte already holds it
  IssueCommand(kProgramByte);
  FlashWriteCycle(address, data);
  EnterReadMode();
  const int result = PollCompletion(data, deadlines.byteProgramMs);
  LeaveReadMode();
  return result;
}

void StartChipErase() {
  Erase(kChipErase, kUnlockAddress1);
  EnterReadMode();
}

void StartSectorErase(std::uint32_t sectorAddress) {
  Erase(kSectorErase, sectorAddress);
  EnterReadMode();
}

int AwaitChipErase() { return PollCompletion(kErasedByte, deadlines.chipEraseMs); }

int AwaitSectorErase() { return PollCompletion(kErasedByte, deadlines.sectorEraseMs); }

void ReleaseFlash() { Control(kIdle); }

void FlashReadBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer) {
  for (std::uint32_t i = 0; i < count; ++i) buffer[i] = FlashReadCycle(address + i);
}

std::uint32_t ReadFlashWord(std::uint32_t address) {
  std::uint8_t bytes[4] = {};
  FlashReadBlock(address, 4, bytes);
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

int FlashWriteBlock(std::uint32_t address, std::uint16_t count, std::uint8_t* buffer) {
  for (std::uint32_t i = 0; i < count; ++i) FlashProgramByte(address + i, buffer[i]);
  int mismatch = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t read = FlashReadCycle(address + i);
    if (read != buffer[i]) mismatch = 1;
    buffer[i] = read;
  }
  return mismatch;
}

}  // namespace omrix
