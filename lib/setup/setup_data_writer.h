// Writing "omrix.dat": one layout, filled from a record whose values each writer takes from
// its own sources.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "board/flash_map.h"

namespace omrix {

// The init sections as a reader or writer holds them for one operation.
struct InitData {
  std::string initEntryCode = "NOT_VALID";
  std::uint32_t initPortBase = 0xFFFF;
  std::string initFpgaFile = "NOT_VALID";
  std::string manufacturer = "NOT_VALID";
  std::string deviceName = "NOT_VALID";
  std::string signatureTester = "NOT_VALID";
  std::uint32_t boardTypecode = 0;
  std::uint32_t boardRevision = 0;
  std::string fpgaType = "NOT_VALID";
  std::uint32_t serialNumber = 0;
  std::string systemImageFile = "NOT_VALID";
};

// A new file knows nothing of what the slots hold.
inline std::array<std::string, kFlashSlotCount> NewSlotNames() {
  std::array<std::string, kFlashSlotCount> names;
  names.fill("UNKNOWN");
  return names;
}

// Every value of the file. The defaults are those of a new file.
struct SetupDataRecord {
  InitData init;
  bool serialNumberToBeProgrammed = false;
  std::string setupFpgaFile = "setup.bit";
  std::uint32_t auxPortBase = 0x378;
  std::uint32_t portBase = 0xFFFF;
  std::string fpgaConfigFile = "CLEAR";
  std::uint32_t PPirq = 0xFFFF;
  std::uint32_t PPcontrol = 0x04;
  std::uint32_t PPwait = 0xFF;
  std::uint32_t identifier = 0;
  // In the order of the file, as kFlashSlots lists the slots.
  std::array<std::string, kFlashSlotCount> flashSlotNames = NewSlotNames();
};

// Whether a name reads back from the file as it was written: no line break, no comment mark
// after white space, no white space at either end. Its length is the field's business.
bool IsStorableName(const std::string& name);

// The file's text, byte for byte.
std::string FormatSetupData(const SetupDataRecord& record);

// Replaces "omrix.dat" in the library directory by the record, never leaving half a file.
// 0 on success; 1, with "ERROR: Could not write file ´omrix.dat´\n" sent and the old file as it
// was, on any failure.
int WriteSetupData(const SetupDataRecord& record);

// The records of the four writers, each from its own sources.
// A new file at start-up: the defaults.
SetupDataRecord RecordForNewFile();
// The factory initialisation: the init and setup sections as read, the run data from memory
// with the default port settings and no identifier, the next serial number to be programmed.
SetupDataRecord RecordForFactory(const InitData& initRead, const std::string& setupFpgaFileRead,
                                 std::uint32_t auxPortBaseRead);
// A successful setup: the identifier codes read from the board, the rest from memory.
SetupDataRecord RecordForSetup(const InitData& identifierCodes, std::uint32_t dateOfProduction);
// The de-initialisation rewrite: init sections, auxiliary port and identifier as read, the
// run data and slot names from memory.
SetupDataRecord RecordForSave(const InitData& initRead, std::uint32_t auxPortBaseRead,
                              std::uint32_t identifierRead);

}  // namespace omrix
