#include "device_setup.h"

#include <string>

#include "board/flash.h"
#include "bus/bus.h"
#include "bus/probe.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "setup/identifier_codes.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"

namespace omrix {

namespace {

constexpr std::uint16_t kSearchedPorts[] = {0x3BC, 0x378, 0x278};

// A port counts as found when the probe saw no device error, no missing port, a setup
// configuration that loaded and was not a clear.
bool Found(std::uint32_t probeResult) { return (probeResult & (0x0700u | 0x0008u | 0x1000u)) == 0; }

InitData IdentifierCodesForFile(const IdentifierCodes& codes) {
  InitData init;
  init.manufacturer = TextForSetupData(codes.manufacturer);
  init.deviceName = TextForSetupData(codes.deviceName);
  init.signatureTester = TextForSetupData(codes.signatureTester);
  init.boardTypecode = codes.boardTypecode;
  init.boardRevision = codes.boardRevision;
  init.fpgaType = TextForSetupData(codes.fpgaType);
  init.serialNumber = codes.serialNumber;
  return init;
}

void ReportTransferMode() {
  if ((state.PPcontrol & 0x40) != 0) {
    SendMessage("-> data transfer EPP (enhanced) mode\n");
  } else if ((state.PPcontrol & 0xA0) == 0xA0) {
    SendMessage("-> data transfer PS2 (extended) mode\n");
  } else {
    SendMessage("-> data transfer SPP (standard) mode\n");
  }
}

// A grant refused for a reason that passes: the port was never tried, so whatever board sits
// there is still unknown.
bool RefusalPasses(platform::GrantRefusal why) {
  return why == platform::GrantRefusal::Busy || why == platform::GrantRefusal::NoPort ||
         why == platform::GrantRefusal::PermissionDenied;
}

// Grants and probes the port in portBase, after its report line has been sent. `untried`
// says the grant was refused for a reason that passes.
std::uint32_t TryPort(bool& untried) {
  untried = false;
  if (!IsUsablePortBase(state.portBase)) return kProbeNoPort;
  if (EnablePortAccess() == 0) {
    untried = RefusalPasses(platform::portBackend().lastRefusal());
    return kProbeNoPort;
  }
  return ProbeDevice(FieldText(state.setupFpgaFile).c_str());
}

// After a failed setup no device is current and the file records none. A port that was never
// usable is not touched on the way.
void ReleaseFailedPort(bool keepRecordedBoard) {
  // Given back already (the probe found no device behind the setup configuration).
  if (state.portBase == kNoDevice) return;
  // The recorded port could not be tried (another program has it, its module is not loaded,
  // no permission): the board may well be there, so the file keeps it for when it can be.
  if (keepRecordedBoard) {
    // Another port of the search may have been had: given back as the ones before it were.
    DisablePortAccess();
    state.portBase = kNoDevice;
    return;
  }
  if (IsUsablePortBase(state.portBase)) {
    DeInitOmrix(kDeInitForgetPort);
  } else {
    state.portBase = kNoDevice;
    SaveSetupData();
  }
}

}  // namespace

std::int32_t SetupOmrix(std::int32_t port) {
  std::string text;
  if (!LoadSetupDataText(text)) {
    SendMessage(
        "\n ERROR: could not open file \xB4omrix.dat\xB4 --> enter FILE EXIT and re-run program\n");
    return OMRIX_SETUP_FILE_ERROR;
  }
  SetupDataReader reader(text);
  if (!reader.FindSection(kSetupDataHead)) {
    DeInitOmrix(kDeInitForgetPort);
    DeleteCorruptSetupData();
    return OMRIX_SETUP_FILE_ERROR;
  }
  std::string setupFile = FieldText(state.setupFpgaFile);
  reader.ReadText(kHeadLineLimit, kFileNameSize - 1, setupFile);
  SetField(state.setupFpgaFile, setupFile);
  reader.ReadHex(kHeadLineLimit, state.auxPortBase);
  SetupDataRecord recorded;
  ParseSetupData(text, recorded);
  // Without a start-up in this session memory holds nothing of the file: the values are taken,
  // not acted on, so that the rewrite keeps them.
  if (!state.recordedValuesRead) TakeRecordedValues(recorded);
  const auto recordedPort = static_cast<std::uint16_t>(recorded.portBase & 0xFFFF);

  // A device already current gives its range back before another is taken.
  if (state.portRangeHeld) DisablePortAccess();
  const std::uint32_t start = TickCount();
  const auto requested = static_cast<std::uint16_t>(port & 0xFFFF);
  std::uint32_t probe = kProbeNoPort;
  bool recordedPortUntried = false;
  const auto tryPort = [&] {
    bool untried = false;
    probe = TryPort(untried);
    recordedPortUntried = recordedPortUntried || (untried && state.portBase == recordedPort);
  };
  if (requested == 0) {
    for (std::size_t i = 0; i < std::size(kSearchedPorts); ++i) {
      state.portBase = kSearchedPorts[i];
      const bool last = i + 1 == std::size(kSearchedPorts);
      SendMessageF("Setup device at I/O address %Xh ...\n", kSearchedPorts[i]);
      tryPort();
      if (Found(probe)) break;
      SendMessage("-> device not found\n");
      if (last) {
        ReleaseFailedPort(recordedPortUntried);
      } else {
        DisablePortAccess();
      }
    }
  } else {
    state.portBase = static_cast<std::uint16_t>(requested == 1 ? state.auxPortBase : requested);
    SendMessageF("Setup device at I/O address %3Xh...\n", state.portBase);
    tryPort();
    if (!Found(probe)) {
      SendMessage("-> device not found\n");
      ReleaseFailedPort(recordedPortUntried);
    }
  }
  if (state.portBase != kNoDevice) SendMessage("-> device found\n");

  std::int32_t result = OMRIX_SETUP_NOT_FOUND;
  if (Found(probe)) {
    const IdentifierCodes codes = ReadIdentifierCodes();
    if (WriteSetupData(RecordForSetup(IdentifierCodesForFile(codes), codes.dateOfProduction)) != 0)
      return OMRIX_SETUP_FILE_ERROR;
    SendMessage("-> \xB4omrix.dat\xB4 written\n");
    ReportTransferMode();
    SendMessage("Device identifier codes:\n");
    ReportIdentifierCodes(codes);
    result = OMRIX_SETUP_DONE;
  }
  SendMessageF("Elapsed time since start of setup: %ld sec\n",
               static_cast<long>((TickCount() - start) / 1000));
  SendMessage(result == OMRIX_SETUP_DONE ? "-> ready\n" : "-> setup failed, see messages\n");
  return result;
}

}  // namespace omrix
