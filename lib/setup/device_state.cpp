#include "bus/bus.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"

namespace omrix {

void DeleteCorruptSetupData() {
  SendMessage(kCorruptSetupDataMessage);
  std::string path;
  if (StatePath(kSetupDataFileName, path)) platform::files().remove(path);
}

int SaveSetupData() {
  std::string text;
  if (!LoadSetupDataText(text)) {
    SendMessage(kReadSetupDataError);
    return 1;
  }
  SetupDataRecord read;
  read.setupFpgaFile = FieldText(state.setupFpgaFile);
  if (ParseSetupData(text, read) < kSetupDataSections) {
    DeleteCorruptSetupData();
    return 1;
  }
  SetField(state.setupFpgaFile, read.setupFpgaFile);
  return WriteSetupData(RecordForSave(read.init, read.auxPortBase, read.identifier));
}

std::int32_t DeInitOmrix(std::int32_t mode) {
  if (state.portBase == kNoDevice) return 0;
  PPirqenSet(0);
  if (mode == kDeInitForJtag) {
    SetPortLines(PortLines::AtRest);
  } else {
    outbyte(0, 1);
    SetPortLines(PortLines::FpgaHeldClear);
  }
  DisablePortAccess();
  if (mode == kDeInitForgetPort) state.portBase = kNoDevice;
  const int result = SaveSetupData();
  state.portBase = kNoDevice;
  return result;
}

std::int32_t IsDeviceInitialized() { return state.portBase != kNoDevice ? 1 : 0; }

std::int32_t AutoSetup(std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return 1; }

}  // namespace omrix
