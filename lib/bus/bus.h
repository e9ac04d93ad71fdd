// mm-bus cycles over the parallel port in SPP, PS2 and EPP modes, and the port's line states.
#pragma once

#include <cstdint>

namespace omrix {

// Transfer modes as recorded in PPcontrol.
inline constexpr std::uint8_t kModeSpp = 0x04;
inline constexpr std::uint8_t kModePs2 = 0xA4;
inline constexpr std::uint8_t kModeEpp = 0x44;

void PortOut(std::uint32_t port, std::uint8_t value);
std::uint8_t PortIn(std::uint32_t port);
void BusyWait(std::int32_t count);

void outbyte(std::int32_t address, std::int32_t data);
void outbyteS(std::int32_t data);
std::int32_t inbyte(std::int32_t address);
std::int32_t inbyteS();
void PPinitSet(std::int32_t level);
void PPirqenSet(std::int32_t enable);
std::int32_t PPackGet();

// The platform's millisecond clock and sleep (the simulated board's under the simulator).
void SleepMs(std::uint32_t ms);
std::uint32_t TickCount();

// The fixed states of the port's lines outside bus cycles.
enum class PortLines {
  ConfigurationLoaded = 0,  // the end of a configuration from the PC
  LoadFromFlash = 1,        // the FPGA loads itself from flash
  FpgaHeldClear = 2,        // FPGA clear, and de-initialisation
  ConfigurationStart = 3,   // the start of every configuration
  AfterEppAttempt = 4,      // the probe, after EPP failed
  AtRest = 5,               // the probe's end, and lines left to a JTAG tool
};
void SetPortLines(PortLines lines);
void SendTransferMode();
int ToggleCheck();

}  // namespace omrix
