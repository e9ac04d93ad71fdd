#include "bus.h"

#include "core/library_state.h"
#include "platform/platform.h"

namespace omrix {

namespace {

constexpr std::uint8_t kStrobe = 0x01;
constexpr std::uint8_t kAutofeed = 0x02;
constexpr std::uint8_t kSelectIn = 0x08;
constexpr std::uint8_t kDirectionIn = 0x20;
constexpr std::uint8_t kEppFlag = 0x40;
constexpr std::uint8_t kPs2Flag = 0x80;
// STROBE, AUTOFEED and SELECT IN with INIT low, which no bus cycle produces: while it is held,
// the data register drives the FPGA's configuration lines.
constexpr std::uint8_t kConfigAccess = 0x0B;
constexpr std::uint8_t kReleased = 0x00;
constexpr std::uint8_t kInitHigh = 0x04;
constexpr std::uint8_t kConfigLinesLow = 0x00;
constexpr std::uint8_t kConfigStartLine = 0x02;

std::uint32_t DataPort() { return state.portBase; }
std::uint32_t StatusPort() { return state.portBase + 1u; }
std::uint32_t ControlPort() { return state.portBase + 2u; }
std::uint32_t EppAddressPort() { return state.portBase + 3u; }
std::uint32_t EppDataPort() { return state.portBase + 4u; }

bool IsEpp() { return (state.PPcontrol & kEppFlag) != 0; }
bool ReadsByteWide() { return (state.PPcontrol & (kDirectionIn | kPs2Flag)) != 0; }

// Control value with the PC driving the data lines.
std::uint8_t DriveValue() { return static_cast<std::uint8_t>(state.PPcontrol & 0x5F); }
// Control value of the read strobe; in PS2 mode the direction bit turns the data lines around.
std::uint8_t ReadValue() { return static_cast<std::uint8_t>(state.PPcontrol | kAutofeed); }

std::uint8_t Low8(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

void AddressPhase(std::uint8_t address, std::uint8_t drive) {
  PortOut(DataPort(), address);
  PortOut(ControlPort(), static_cast<std::uint8_t>(drive | kSelectIn));
  PortOut(ControlPort(), drive);
}

void DataWritePhase(std::uint8_t data, std::uint8_t drive) {
  PortOut(DataPort(), data);
  PortOut(ControlPort(), static_cast<std::uint8_t>(drive | kStrobe));
  PortOut(ControlPort(), drive);
}

// Status bits 7, 3, 4, 5 carry nibble bits 0, 1, 2, 3.
std::uint8_t NibbleFromStatus(std::uint8_t status) {
  return static_cast<std::uint8_t>(((status >> 7) & 0x01) | ((status >> 2) & 0x02) |
                                   ((status >> 2) & 0x04) | ((status >> 2) & 0x08));
}

std::uint8_t DataReadPhase(std::uint8_t drive) {
  PortOut(ControlPort(), ReadValue());
  std::uint8_t result;
  if (ReadsByteWide()) {
    BusyWait(state.PPwait);
    result = PortIn(DataPort());
  } else {
    PortOut(DataPort(), 0x01);
    BusyWait(state.PPwait);
    const std::uint8_t high = NibbleFromStatus(PortIn(StatusPort()) & 0xB8);
    PortOut(DataPort(), 0x00);
    BusyWait(state.PPwait);
    const std::uint8_t low = NibbleFromStatus(PortIn(StatusPort()) & 0xB8);
    result = static_cast<std::uint8_t>(high << 4 | low);
  }
  PortOut(ControlPort(), state.PPcontrol);
  PortOut(ControlPort(), drive);
  return result;
}

void SetControlBit(std::uint8_t mask, bool on) {
  state.PPcontrol =
      static_cast<std::uint8_t>(on ? (state.PPcontrol | mask) : (state.PPcontrol & ~mask));
  PortOut(ControlPort(), state.PPcontrol);
}

}  // namespace

void PortOut(std::uint32_t port, std::uint8_t value) { platform::portBackend().out(port, value); }

std::uint8_t PortIn(std::uint32_t port) { return platform::portBackend().in(port); }

void BusyWait(std::int32_t count) {
  if (count > 0) platform::clock().settle(count);
}

void SleepMs(std::uint32_t ms) { platform::clock().sleepMs(ms); }

std::uint32_t TickCount() { return platform::clock().tickCount(); }

void outbyte(std::int32_t address, std::int32_t data) {
  if (IsEpp()) {
    PortOut(EppAddressPort(), Low8(address));
    PortOut(EppDataPort(), Low8(data));
    return;
  }
  const std::uint8_t drive = DriveValue();
  AddressPhase(Low8(address), drive);
  DataWritePhase(Low8(data), drive);
}

void outbyteS(std::int32_t data) {
  if (IsEpp()) {
    PortOut(EppDataPort(), Low8(data));
    return;
  }
  DataWritePhase(Low8(data), DriveValue());
}

std::int32_t inbyte(std::int32_t address) {
  if (IsEpp()) {
    PortOut(EppAddressPort(), Low8(address));
    return PortIn(EppDataPort());
  }
  const std::uint8_t drive = DriveValue();
  AddressPhase(Low8(address), drive);
  return DataReadPhase(drive);
}

std::int32_t inbyteS() {
  if (IsEpp()) return PortIn(EppDataPort());
  return DataReadPhase(DriveValue());
}

void PPinitSet(std::int32_t level) { SetControlBit(0x04, level != 0); }

void PPirqenSet(std::int32_t enable) { SetControlBit(0x10, enable != 0); }

std::int32_t PPackGet() { return (PortIn(StatusPort()) >> 6) & 0x01; }

void SetPortLines(PortLines lines) {
  switch (lines) {
    case PortLines::ConfigurationLoaded:
      PortOut(ControlPort(), kReleased);
      PortOut(DataPort(), kConfigLinesLow);
      break;
    case PortLines::LoadFromFlash:
      PortOut(ControlPort(), kReleased);
      PortOut(DataPort(), kConfigStartLine);
      PortOut(ControlPort(), kConfigAccess);
      PortOut(DataPort(), kConfigLinesLow);
      PortOut(ControlPort(), kReleased);
      break;
    case PortLines::FpgaHeldClear:
      PortOut(ControlPort(), kReleased);
      PortOut(DataPort(), kConfigLinesLow);
      PortOut(ControlPort(), kConfigAccess);
      break;
    case PortLines::ConfigurationStart:
      PortOut(ControlPort(), kReleased);
      PortOut(DataPort(), kConfigStartLine);
      PortOut(ControlPort(), kConfigAccess);
      break;
    case PortLines::AfterEppAttempt:
      PortOut(ControlPort(), static_cast<std::uint8_t>(state.PPcontrol | kAutofeed | kSelectIn));
      break;
    case PortLines::AtRest:
      PortOut(ControlPort(), kInitHigh);
      PortOut(DataPort(), kConfigLinesLow);
      break;
  }
}

void SendTransferMode() {
  if ((state.PPcontrol & 0xA0) == 0xA0) {
    outbyte(0, 2);
  } else if (IsEpp()) {
    // The board may still be in SPP mode, where it decodes only SPP cycles.
    state.PPcontrol = static_cast<std::uint8_t>(state.PPcontrol & ~kEppFlag);
    outbyte(0, 4);
    state.PPcontrol = static_cast<std::uint8_t>(state.PPcontrol | kEppFlag);
    outbyte(0, 4);
  } else {
    outbyte(0, 0);
  }
}

int ToggleCheck() {
  std::int32_t value = inbyte(1);
  for (int i = 0; i < 16; ++i) {
    outbyte(1, value | 0x80);
    value = inbyte(1);
    if ((value & 0x80) == 0) return 0;
    outbyte(1, value & 0x7F);
    value = inbyte(1);
    if ((value & 0x80) != 0) return 0;
  }
  return 1;
}

}  // namespace omrix
