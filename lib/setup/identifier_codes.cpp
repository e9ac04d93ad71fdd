#include "identifier_codes.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "board/flash_chip.h"
#include "core/text.h"
#include "platform/platform.h"

namespace omrix {

namespace {

constexpr std::size_t kTextField = 32;
// A 32-byte field holds a text of at most 31 characters and its zero.
constexpr std::size_t kLongestText = kTextField - 1;

std::string ReadTextField(std::uint32_t address) {
  std::array<std::uint8_t, kTextField> bytes{};
  FlashReadBlock(address, kTextField, bytes.data());
  std::string text;
  for (std::uint8_t byte : bytes) {
    if (byte == 0) break;
    text += static_cast<char>(byte);
  }
  return text;
}

int ProgramTextField(std::uint32_t address, const std::string& text) {
  std::array<std::uint8_t, kTextField> bytes;
  bytes.fill(0xFF);  // left erased: no program cycles
  const std::size_t length = std::min(text.size(), kLongestText);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
  bytes[length] = 0;
  return FlashWriteBlock(address, kTextField, bytes.data());
}

int ProgramWord(std::uint32_t address, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return FlashWriteBlock(address, 4, bytes.data());
}

}  // namespace

IdentifierCodes ReadIdentifierCodes() {
  IdentifierCodes codes;
  codes.manufacturer = ReadTextField(kManufacturerAddress);
  codes.deviceName = ReadTextField(kDeviceNameAddress);
  codes.signatureTester = ReadTextField(kSignatureTesterAddress);
  codes.boardTypecode = ReadFlashWord(kBoardTypecodeAddress);
  codes.boardRevision = ReadFlashWord(kBoardRevisionAddress);
  codes.fpgaType = ReadTextField(kFpgaTypeAddress);
  codes.serialNumber = ReadFlashWord(kSerialNumberAddress);
  codes.dateOfProduction = ReadFlashWord(kDateOfProductionAddress);
  return codes;
}

int ProgramIdentifierCodes(const IdentifierCodes& codes) {
  int mismatch = 0;
  mismatch |= ProgramTextField(kManufacturerAddress, codes.manufacturer);
  mismatch |= ProgramTextField(kDeviceNameAddress, codes.deviceName);
  mismatch |= ProgramTextField(kSignatureTesterAddress, codes.signatureTester);
  mismatch |= ProgramWord(kBoardTypecodeAddress, codes.boardTypecode);
  mismatch |= ProgramWord(kBoardRevisionAddress, codes.boardRevision);
  mismatch |= ProgramTextField(kFpgaTypeAddress, codes.fpgaType);
  mismatch |= ProgramWord(kSerialNumberAddress, codes.serialNumber);
  mismatch |= ProgramWord(kDateOfProductionAddress, codes.dateOfProduction);
  return mismatch;
}

std::string DateOfProductionText(std::uint32_t seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (seconds == 0xFFFFFFFF) return "NOT_VALID\n";
  std::tm local{};
  if (!platform::LocalCalendarTime(seconds, local) || local.tm_wday < 0 || local.tm_wday > 6 ||
      local.tm_mon < 0 || local.tm_mon > 11)
    return "NOT_VALID\n";
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d\n", kDays[local.tm_wday],
                kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                local.tm_year + 1900);
  return text;
}

void ReportIdentifierCodes(const IdentifierCodes& codes) {
  SendMessageF("-> manufacturer:       %s\n", codes.manufacturer.c_str());
  SendMessageF("-> device name:        %s\n", codes.deviceName.c_str());
  SendMessageF("-> signature tester:   %s\n", codes.signatureTester.c_str());
  SendMessageF("-> board typecode:     %lu\n", static_cast<unsigned long>(codes.boardTypecode));
  SendMessageF("-> board revision:     %lu\n", static_cast<unsigned long>(codes.boardRevision));
  SendMessageF("-> FPGA type:          %s\n", codes.fpgaType.c_str());
  SendMessageF("-> serial number:      %lu\n", static_cast<unsigned long>(codes.serialNumber));
  SendMessageF("-> date of production: %s", DateOfProductionText(codes.dateOfProduction).c_str());
}

std::string TextForSetupData(const std::string& text) {
  if (text.empty()) return "NOT_VALID";
  std::string safe = text;
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte == 0x7F) c = '_';
  }
  return safe;
}

}  // namespace omrix
