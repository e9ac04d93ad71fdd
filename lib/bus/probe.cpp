#include "probe.h"

#include <array>
#include <numeric>

#include "board/flash_chip.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "bus/pattern.h"
#include "core/library_state.h"
#include "core/text.h"

namespace omrix {

namespace {

constexpr int kMostRunsPerMode = 128;
constexpr std::size_t kCleanRunsNeeded = 5;

// Writes a value to the data register and reads it back.
bool DataRegisterKeeps(std::uint8_t value) {
  PortOut(state.portBase, value);
  return PortIn(state.portBase) == value;
}

std::int32_t Tune(std::int32_t writeAddress, std::int32_t readAddress, std::uint8_t orMask) {
  return TunePPwait(writeAddress, readAddress, orMask, kPatternsPerRun, true);
}

}  // namespace

int ProbePort() {
  int result = 1;
  PortOut(state.portBase + 2u, 0xA4);  // data lines to input, where the port can do that
  bool kept = DataRegisterKeeps(0xAA);
  kept = DataRegisterKeeps(0x55) && kept;
  if (!kept) result = 2;
  PortOut(state.portBase + 2u, 0x04);
  kept = DataRegisterKeeps(0xAA);
  kept = DataRegisterKeeps(0x55) && kept;
  if (!kept) result = 0;  // not even the output latch holds: no port
  SetPortLines(PortLines::AtRest);
  return result;
}

std::int32_t PatternCheck(std::int32_t writeAddress, std::int32_t readAddress, std::uint8_t orMask,
                          std::int32_t count) {
  const std::int32_t saved = inbyte(readAddress);
  while (count > 0) {
    const auto pattern = static_cast<std::int32_t>((PatternRandom() & 0xFF) | orMask);
    outbyte(writeAddress, pattern);
    if (inbyte(readAddress) != pattern) break;
    --count;
  }
  outbyte(writeAddress, saved);
  return count;
}

std::int32_t TunePPwait(std::int32_t writeAddress, std::int32_t readAddress, std::uint8_t orMask,
                        std::int32_t count, bool restart) {
  state.PPwait = restart ? 0 : static_cast<std::uint8_t>(state.PPwait - 2);
  // The last five results, newest last; before the first run the older ones count as failed.
  std::array<std::int32_t, kCleanRunsNeeded> last{1, 1, 1, 1, 1};
  for (int run = 1;; ++run) {
    for (std::size_t i = 0; i + 1 < last.size(); ++i) last[i] = last[i + 1];
    last.back() = PatternCheck(writeAddress, readAddress, orMask, count);
    const std::int32_t failures = std::accumulate(last.begin(), last.end(), 0);
    if (failures == 0) {
      state.PPwait = static_cast<std::uint8_t>(state.PPwait - 2);  // the middle of the five
      return 0;
    }
    state.PPwait = static_cast<std::uint8_t>(state.PPwait + 1);
    if (run == kMostRunsPerMode) return failures;
  }
}

std::uint32_t DataTransferCheck(std::int32_t writeAddress, std::int32_t readAddress,
                                std::uint8_t orMask, std::uint32_t portType,
                                std::uint32_t expectedType) {
  std::uint32_t result = portType;
  SendMessage("Running DataTransfer check ...\n");
  SendTransferMode();
  if (ToggleCheck() == 0) {
    SetPortLines(PortLines::AtRest);
    return result | kProbeDeviceError;
  }
  bool eppPassed = false;
  if (state.portBase != platform::kPortWithoutEpp) {
    state.PPcontrol = kModeEpp;
    SendTransferMode();
    eppPassed = Tune(writeAddress, readAddress, orMask) == 0;
    if (eppPassed) result |= kProbeEppPassed;
  }
  bool ps2Passed = false;
  if (!eppPassed) {
    SetPortLines(PortLines::AfterEppAttempt);
    std::uint8_t ps2Wait = 0;
    if (portType == 2) {
      state.PPcontrol = kModePs2;
      SendTransferMode();
      ps2Passed = Tune(writeAddress, readAddress, orMask) == 0;
      if (ps2Passed) result |= kProbePs2Passed;
      ps2Wait = state.PPwait;
    }
    state.PPcontrol = kModeSpp;
    SendTransferMode();
    if (Tune(writeAddress, readAddress, orMask) == 0) result |= kProbeSppPassed;
    if (ps2Passed) {
      state.PPcontrol = kModePs2;
      state.PPwait = ps2Wait;
      SendTransferMode();
    }
  }
  if ((result & (kProbeSppPassed | kProbePs2Passed | kProbeEppPassed)) == 0) {
    SendMessage("-> ERROR: DataTransfer check failed\n");
    // No mode carries data, so nothing read from the board can be trusted.
    result |= kProbeDeviceError;
  }
  if (ReadFlashWord(kBoardTypecodeAddress) != expectedType) {
    result |= kProbeDeviceError;
    SendMessage("-> unknown device connected\n");
  }
  return result;
}

std::uint32_t ProbeDevice(const char* setupFile) {
  state.PPcontrol = kModeSpp;
  state.PPwait = 0xFF;
  state.PPirq = 0;
  const auto portType = static_cast<std::uint32_t>(ProbePort());
  if (portType == 0) return kProbeNoPort;
  const std::int32_t loaded = FpgaConfig(setupFile, 0, 0);
  if (loaded != 0) return portType | static_cast<std::uint32_t>(loaded);
  return DataTransferCheck(3, 2, 0, portType, kBoardTypecode);
}

std::uint32_t GetTransferRate(std::int32_t kind, std::int32_t writeAddress,
                              std::int32_t readAddress, std::int32_t kilobytes) {
  if (kilobytes <= 0) return 0;
  const std::int32_t b = inbyte(readAddress);  // also selects the address for the streams
  const std::uint64_t transfers = static_cast<std::uint64_t>(kilobytes) * 1024;
  const std::uint32_t t0 = TickCount();
  for (std::uint64_t i = 0; i < transfers; ++i) {
    switch (kind) {
      case 0: outbyte(writeAddress, b); break;
      case 1: inbyte(readAddress); break;
      case 2: outbyteS(b); break;
      default: inbyteS(); break;
    }
  }
  std::uint64_t elapsed = static_cast<std::uint32_t>(TickCount() - t0);
  if (elapsed == 0) elapsed = 1;  // faster than the clock can tell
  const std::uint64_t rate = (1000 * transfers) / (elapsed * 1024);
  return rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rate);
}

}  // namespace omrix
