// The identifier-code block every board carries in the top sector of its flash.
#pragma once

#include <cstdint>
#include <string>

#include "bus/probe.h"  // the typecode address, which the probe reads too

namespace omrix {

struct IdentifierCodes {
  std::string manufacturer;
  std::string deviceName;
  std::string signatureTester;
  std::uint32_t boardTypecode = 0;
  std::uint32_t boardRevision = 0;
  std::string fpgaType;
  std::uint32_t serialNumber = 0;
  std::uint32_t dateOfProduction = 0;  // seconds since 1970, UTC; also the board's identifier
};

inline constexpr std::uint32_t kFpgaTypeAddress = 0x7FF40;
inline constexpr std::uint32_t kDateOfProductionAddress = 0x7FF60;
inline constexpr std::uint32_t kSerialNumberAddress = 0x7FF70;
inline constexpr std::uint32_t kBoardRevisionAddress = 0x7FF80;
inline constexpr std::uint32_t kSignatureTesterAddress = 0x7FFA0;
inline constexpr std::uint32_t kDeviceNameAddress = 0x7FFC0;
inline constexpr std::uint32_t kManufacturerAddress = 0x7FFE0;

// Reads the block from the flash, field by field.
IdentifierCodes ReadIdentifierCodes();

// Programs the block into the erased top sector; 0 when every field read back as programmed.
int ProgramIdentifierCodes(const IdentifierCodes& codes);

// The eight listing lines, one message each.
void ReportIdentifierCodes(const IdentifierCodes& codes);

// The listing's date: "Sat Jan  1 00:00:00 2005\n" in local time with English names, whatever
// the host's locale; "NOT_VALID\n" for an erased field.
std::string DateOfProductionText(std::uint32_t seconds);

// A text as the setup data file can hold it and read it back: one token, never empty.
std::string TextForSetupData(const std::string& text);

}  // namespace omrix
