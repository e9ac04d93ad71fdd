// The start-up: the recorded device, or the factory initialisation of a new board.
#include <cstring>
#include <string>

#include "board/flash.h"
#include "board/flash_chip.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "setup/device_setup.h"
#include "setup/identifier_codes.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"

namespace omrix {

namespace {

constexpr std::uint8_t kSafeControlBits = 0x04 | 0x10 | 0x20 | 0x40 | 0x80;
constexpr int kFactorySections = 3;  // the factory needs the init and setup sections only
constexpr int kDeviceVerified = 0;
// Nothing known of the board: not reached, or its configuration could not be loaded.
constexpr int kUnusable = kDeviceUnusable | kNotConfiguredAsRecorded | kIdentifierNotVerified;

void SetInMemoryDefaults() {
  state.portBase = kNoDevice;
  state.PPirq = 0xFFFF;
  state.PPcontrol = 0x04;
  state.PPwait = 0xFF;
  state.auxPortBase = 0x378;
  SetField(state.setupFpgaFile, "setup.bit");
  SetField(state.fpgaConfigFile, "CLEAR");
  for (const FlashSlotRecord& slot : kFlashSlots) SetField(SlotName(slot), "UNKNOWN");
}

// The file as it is, or the defaults written first when there is none. A file that exists but
// cannot be read is never replaced.
bool LoadOrCreateSetupData(std::string& text) {
  std::string path;
  platform::FileStatus status;
  const bool exists = StatePath(kSetupDataFileName, path) && platform::files().status(path, status);
  if (!exists && WriteSetupData(RecordForNewFile()) != 0) return false;
  if (!LoadSetupDataText(text)) {
    SendMessage(kReadSetupDataError);
    return false;
  }
  return true;
}

// Values from the file are made safe before any cycle uses them.
void TakeRunData(const SetupDataRecord& record) {
  state.portBase = static_cast<std::uint16_t>(record.portBase & 0xFFFF);
  TakeRecordedValues(record);
  if (state.portBase == platform::kPortWithoutEpp && (state.PPcontrol & 0x40) != 0) {
    // Its EPP registers lie outside the granted range: fall back to the slowest safe mode.
    state.PPcontrol = static_cast<std::uint8_t>(state.PPcontrol & ~0x40);
    state.PPwait = 0xFF;
  }
}

IdentifierCodes CodesToProgram(const InitData& init, std::uint32_t dateOfProduction) {
  IdentifierCodes codes;
  codes.manufacturer = init.manufacturer;
  codes.deviceName = init.deviceName;
  codes.signatureTester = init.signatureTester;
  codes.boardTypecode = init.boardTypecode;
  codes.boardRevision = init.boardRevision;
  codes.fpgaType = init.fpgaType;
  codes.serialNumber = init.serialNumber;
  codes.dateOfProduction = dateOfProduction;
  return codes;
}

// The identifier codes as they were programmed, shortened as the 32-byte fields hold them.
IdentifierCodes AsProgrammed(IdentifierCodes codes) {
  for (std::string* text :
       {&codes.manufacturer, &codes.deviceName, &codes.signatureTester, &codes.fpgaType})
    if (text->size() > 31) text->resize(31);
  return codes;
}

std::int32_t ProgramSystemImage(std::int32_t result, const std::string& imageFile) {
  if (imageFile == "NOT_VALID") return result;
  std::string path;
  if (!LibraryPath(imageFile, path)) path = FieldText(state.libraryDirectory) + imageFile;
  SendMessageF("Initialize FLASH-memory with SYSTEMiMAGE file: '%s'\n", path.c_str());
  // Nothing is erased for an image that could not be programmed after it.
  platform::FileStatus status;
  if (path.size() >= kFileNameSize) {
    SendMessageF("-> ERROR: Could not open file '%s'\n", path.c_str());
    return result;
  }
  if (platform::files().status(path, status) && status.isRegular &&
      platform::files().open(path, platform::FileMode::Read))
    for (std::uint32_t sector : kFlashSectors)
      if (sector <= kUserSpaceEnd) FlashSectorErase(sector);
  FlashProgram(path.c_str(), 0, kUserSpaceEnd, 0, 1, 0);
  return result;
}

std::int32_t FactoryInitialisation(const SetupDataRecord& read) {
  const InitData& init = read.init;
  state.portBase = static_cast<std::uint16_t>(init.initPortBase & 0xFFFF);
  const bool granted = IsUsablePortBase(state.portBase) && EnablePortAccess() == 1;
  SendMessage(
      "Initialize device identifier codes with \xB4init_data\xB4 section from file "
      "\xB4omrix.dat\xB4\n");
  SendMessageF("Initialize device at parallel port address %Xh\n", state.portBase);
  if (!granted) {
    state.portBase = kNoDevice;
    SendMessage("ERROR: device not found\n");
    return OMRIX_START_DEVICE_FAILED;
  }
  if (FpgaConfig(init.initFpgaFile.c_str(), 0, 1) != 0) {
    if (SameFileName(init.initFpgaFile.c_str(), "intdlc5.bit") == 0) {
      SendMessageF(
          "Device prepared for internal programming via JTAG at parallel-port address %Xh\n",
          state.portBase);
      return OMRIX_START_JTAG_PREPARED;
    }
    SendMessage("ERROR: device not found\n");
    return OMRIX_START_DEVICE_FAILED;
  }
  const auto now = static_cast<std::uint32_t>(platform::system().calendarTime());
  FlashSectorErase(kIdentifierSector);
  const IdentifierCodes codes = CodesToProgram(init, now);
  std::int32_t result = OMRIX_START_CODES_PROGRAMMED;
  if (ProgramIdentifierCodes(codes) != 0) {
    SendMessage("ERROR: Device identifier codes not programmed, verify error\n");
    result = OMRIX_START_CODES_NOT_VERIFIED;
  } else {
    if (WriteSetupData(RecordForFactory(init, read.setupFpgaFile, read.auxPortBase)) != 0)
      return OMRIX_START_NO_DEVICE;
    SendMessage("Device identifier codes programmed,\xB4omrix.dat\xB4 written:\n");
    ReportIdentifierCodes(AsProgrammed(codes));
  }
  return ProgramSystemImage(result, init.systemImageFile);
}

}  // namespace

void TakeRecordedValues(const SetupDataRecord& record) {
  state.PPirq = static_cast<std::uint16_t>(record.PPirq & 0xFFFF);
  // Only levels and mode flags: a strobe kept in the shadow would be asserted in every cycle.
  state.PPcontrol = static_cast<std::uint8_t>(record.PPcontrol & kSafeControlBits);
  state.PPwait = static_cast<std::uint8_t>(record.PPwait & 0xFF);
  SetField(state.fpgaConfigFile, record.fpgaConfigFile);
  for (std::size_t i = 0; i < kFlashSlotCount; ++i)
    SetField(SlotName(kFlashSlots[i]), record.flashSlotNames[i]);
  state.recordedValuesRead = true;
}

int InitDeviceAtPort(const char* source, std::uint32_t identifier) {
  const bool granted = EnablePortAccess() == 1;
  SendMessageF("Initialize device at parallel port address %Xh\n", state.portBase);
  if (!granted) {
    // The recorded port stays in the file for the next start. A setup cannot free a port that
    // another program holds: waiting for it can.
    const bool busy = platform::portBackend().lastRefusal() == platform::GrantRefusal::Busy;
    SendMessage(busy ? "-> ERROR: could not detect device --> try again once the port is free\n"
                     : "-> ERROR: could not detect device --> enter FILE SETUP ...\n");
    state.portBase = kNoDevice;
    return kUnusable;
  }
  int result;
  const std::int32_t loaded = FpgaConfig(source, 1, 1);
  if (loaded != OMRIX_FPGA_LOADED) {
    const bool unusable = (loaded & (OMRIX_FPGA_FILE_ERROR | OMRIX_FPGA_DEVICE_NOT_DETECTED)) != 0;
    result = unusable ? kUnusable : kNotConfiguredAsRecorded | kIdentifierNotVerified;
  } else if (ReadFlashWord(kDateOfProductionAddress) == identifier) {
    result = kDeviceVerified;
  } else if (SameFileName(FieldText(state.setupFpgaFile).c_str(),
                          FieldText(state.fpgaConfigFile).c_str()) != 0) {
    result = kIdentifierNotVerified;
  } else {
    SendMessage("-> ERROR: identifier code mismatch --> enter FILE SETUP ...\n");
    DeInitOmrix(kDeInitForgetPort);
    result = kWrongBoard | kIdentifierNotVerified;
  }
  if ((result & (kDeviceFailed | kIdentifierNotVerified)) == kIdentifierNotVerified)
    SendMessage("-> INFO: could not verify device identifier code\n");
  return result;
}

std::int32_t InterpreteOmrixDat() {
  // A device already current gives its range back before another is taken.
  if (state.portRangeHeld) DisablePortAccess();
  SetInMemoryDefaults();
  // From here memory holds what this start-up decides: the file's values or the defaults.
  state.recordedValuesRead = true;
  std::string text;
  if (!LoadOrCreateSetupData(text)) return OMRIX_START_NO_DEVICE;

  SetupDataRecord read;
  read.setupFpgaFile = FieldText(state.setupFpgaFile);
  read.auxPortBase = state.auxPortBase;
  std::string entryCodeLine;
  const int sections = ParseSetupData(text, read, &entryCodeLine);
  const bool factory =
      entryCodeLine.compare(0, std::strlen(kFactoryEntryCode), kFactoryEntryCode) == 0;
  if (sections < (factory ? kFactorySections : kSetupDataSections)) {
    state.portBase = kNoDevice;
    DeleteCorruptSetupData();
    return OMRIX_START_NO_DEVICE;
  }
  SetField(state.setupFpgaFile, read.setupFpgaFile);
  state.auxPortBase = read.auxPortBase & 0xFFFF;
  if (factory) return FactoryInitialisation(read);

  TakeRunData(read);
  if (!IsUsablePortBase(state.portBase)) {
    state.portBase = kNoDevice;
    SendMessage("-> ERROR: \xB4omrix.dat\xB4 not initialized --> enter FILE SETUP ...\n");
    return OMRIX_START_NO_DEVICE;
  }
  const int result = InitDeviceAtPort(FieldText(state.fpgaConfigFile).c_str(), read.identifier);
  return (result & kDeviceFailed) != 0 ? OMRIX_START_DEVICE_FAILED : OMRIX_START_READY;
}

}  // namespace omrix
