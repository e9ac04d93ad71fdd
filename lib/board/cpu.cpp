#include "cpu.h"

#include "bus/bus.h"
#include "core/text.h"

namespace omrix {

namespace {

constexpr std::int32_t kConfigRegister = 1;
constexpr std::int32_t kCpuReset = 0x01;
constexpr std::uint32_t kResetPulseMs = 5;

}  // namespace

void CpuReset(std::int32_t disable) {
  const std::int32_t value = inbyte(kConfigRegister);
  outbyte(kConfigRegister, value | kCpuReset);
  if (disable != 0) {
    SendMessage("CPU disabled\n");
    return;
  }
  SleepMs(kResetPulseMs);
  outbyte(kConfigRegister, value & ~kCpuReset);
  SleepMs(kResetPulseMs);
  SendMessage("CPU reset\n");
}

void CpuRunFile(std::int32_t fileIndex) {
  SendMessageF("Run CPU file %X\n", static_cast<unsigned>(fileIndex));
  std::int32_t value = inbyte(kConfigRegister) & 0xF8;
  if (fileIndex >= 1 && fileIndex <= 3) value |= fileIndex << 1;
  outbyte(kConfigRegister, value);
  CpuReset(0);
}

}  // namespace omrix
