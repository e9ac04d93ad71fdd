#include "basic.h"

#include <memory>
#include <string>
#include <vector>

#include "board/cpu.h"
#include "board/flash.h"
#include "board/flash_chip.h"
#include "bus/bus.h"
#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"
#include "setup/setup_data_reader.h"

namespace omrix {

namespace {

constexpr std::int32_t kRamData = 2;
constexpr std::int32_t kRamAddressLow = 4;
constexpr std::int32_t kRamAddressHigh = 5;
constexpr std::uint32_t kProgramStart = 0x200;
// The RAM window has 16 address bits: nothing lies beyond.
constexpr std::uint64_t kRamEnd = 0x10000;

constexpr std::uint32_t kAreaStart = 0x8000;
constexpr std::uint32_t kAreaEnd = 0xE000;  // exclusive
constexpr std::uint32_t kLastProgramByte = 0xDFFF;
constexpr std::uint8_t kProgramMark = 0x55;
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kHeaderLineLimit = 200;
// No program that fits the area comes near this; a larger file is not read whole.
constexpr std::uint64_t kLargestProgramFile = 1 << 20;
constexpr const char* kHeaderFileNotCreated = "ERROR: creating MCS BASIC-52 binary header file\n";

bool IsRegularFile(const std::string& path, std::uint64_t& size) {
  platform::FileStatus status;
  if (!platform::files().status(path, status) || !status.isRegular) return false;
  size = status.size;
  return true;
}

// A stored program begins with its mark and ends with the interpreter's end of program.
bool IsBasicProgram(const std::string& bytes) {
  return bytes.size() >= 3 && static_cast<std::uint8_t>(bytes.front()) == kProgramMark &&
         bytes[bytes.size() - 2] == '\x0D' && bytes.back() == '\x01';
}

bool WriteByte(platform::File& file, std::uint8_t byte) { return file.write(&byte, 1); }

}  // namespace

std::uint8_t BasicRamRead(std::uint32_t address, std::uint32_t previousAddress) {
  if ((address & 0xFF) != (previousAddress & 0xFF))
    outbyte(kRamAddressLow, static_cast<std::int32_t>(address & 0xFF));
  if (((address >> 8) & 0xFF) != ((previousAddress >> 8) & 0xFF))
    outbyte(kRamAddressHigh, static_cast<std::int32_t>((address >> 8) & 0xFF));
  return static_cast<std::uint8_t>(inbyte(kRamData));
}

std::int32_t Basic2File(const char* fileName, std::uint32_t endAddress) {
  const std::string name = fileName != nullptr ? fileName : "";
  std::int32_t result = OMRIX_BASIC_NO_END_MARK;
  CpuReset(1);
  SendMessageF("Save MCS BASIC-52 program to file: '%s'", name.c_str());
  // The old file stays until the save is whole, even one without its end mark.
  FileReplacement replacement(name);
  platform::File* const file = replacement.file();
  if (file == nullptr) {
    result = OMRIX_BASIC_FILE_ERROR;
  } else {
    bool written = WriteByte(*file, kProgramMark);
    std::uint8_t previousByte = 0;
    std::uint64_t count = 0;
    const std::uint64_t end = std::min<std::uint64_t>(endAddress, kRamEnd);
    for (std::uint64_t a = kProgramStart; a < end && written; ++a) {
      const auto address = static_cast<std::uint32_t>(a);
      const std::uint8_t byte = BasicRamRead(address, a == kProgramStart ? ~address : address - 1);
      if (++count % 256 == 0) SendMessage(".");
      written = WriteByte(*file, byte);
      if (written && previousByte == 0x0D && byte == 0x01) {
        result = OMRIX_BASIC_SAVED;
        break;
      }
      previousByte = byte;
    }
    written = written && replacement.commit();
    if (written) {
      SendMessage("\n -> done\n");
    } else {
      SendMessage("\n");
      result = OMRIX_BASIC_FILE_ERROR;
    }
  }
  CpuReset(0);
  if ((result & 0x02) != 0)
    SendMessage("-> WARNING: created BASIC file not valid, END OF PROGRAM token missing\n");
  return result;
}

BasicRomArea BasicRomScan(std::uint32_t base) {
  BasicRomArea area;
  FlashReset();
  EnterReadMode();
  std::uint32_t previousAddress = ~(base + kAreaStart);
  std::uint8_t previousByte = 0;
  for (std::uint32_t offset = kAreaStart; offset < kAreaEnd; ++offset) {
    const std::uint32_t address = base + offset;
    const std::uint8_t byte = FlashReadNext(address, previousAddress);
    previousAddress = address;
    if (offset == kAreaStart) area.firstByte = byte;
    if (previousByte == 0x0D && byte == 0x01) {
      ++area.programs;
      area.appendOffset = offset + 1;
    }
    previousByte = byte;
  }
  LeaveReadMode();
  return area;
}

int BasicHeaderCreate(const char* outName) {
  std::string sourcePath;
  std::string text;
  std::uint64_t size = 0;
  int result = 0;
  if (!LibraryPath(kBasicHeaderSource, sourcePath) || !IsRegularFile(sourcePath, size) ||
      !ReadWholeFile(sourcePath, kLargestProgramFile, text)) {
    result = 1;
  } else {
    std::unique_ptr<platform::File> out = platform::files().open(outName != nullptr ? outName : "",
                                                                 platform::FileMode::WriteTruncate);
    if (!out) {
      result = 2;
    } else {
      // A byte without a value line stays erased, so programming it changes nothing.
      std::vector<std::uint8_t> header(kHeaderBytes, 0xFF);
      SetupDataReader reader(std::move(text));
      if (!reader.FindSection("#header_data")) result = 1;
      for (std::size_t i = 0; i < kHeaderBytes && result == 0; ++i) {
        std::uint32_t value = 0;
        const auto line = reader.NextLine(kHeaderLineLimit);
        if (!line || !ConvertHex(*line, value)) {
          result |= 1;
          continue;
        }
        header[i] = static_cast<std::uint8_t>(value & 0xFF);
      }
      if (!out->write(header.data(), header.size()) || !out->close()) result = 2;
    }
  }
  if (result == 1) SendMessage("ERROR: reading MCS BASIC-52 header file\n");
  if (result == 2) SendMessage(kHeaderFileNotCreated);
  return result;
}

std::int32_t BasicFlash(const char* fileName, std::uint32_t base) {
  const std::string name = fileName != nullptr ? fileName : "";
  std::uint64_t size = 0;
  std::string program;
  // Nothing is written, not even a header, for a program that cannot be read whole.
  if (!IsRegularFile(name, size) || !ReadWholeFile(name, kLargestProgramFile, program)) {
    SendMessageF("-> ERROR: Could not open file '%s'\n", name.c_str());
    return OMRIX_FLASH_FILE_ERROR;
  }
  if (!IsBasicProgram(program)) {
    SendMessageF("-> ERROR: '%s' is no MCS BASIC-52 program file\n", name.c_str());
    return OMRIX_FLASH_FILE_ERROR;
  }
  size = program.size();
  const BasicRomArea area = BasicRomScan(base);
  std::int32_t result = OMRIX_FLASH_DONE;
  if (area.firstByte == 0xFF) {
    // Made anew beside its source each time: a header file left by an earlier call, or one
    // in whatever directory the process runs in, is never programmed.
    std::string headerPath;
    if (!StatePath(kBasicHeaderFile, headerPath)) {
      SendMessage(kHeaderFileNotCreated);
      return OMRIX_FLASH_FILE_ERROR;
    }
    if (BasicHeaderCreate(headerPath.c_str()) != 0) return OMRIX_FLASH_FILE_ERROR;
    result = FlashProgram(headerPath.c_str(), base + kAreaStart, base + 0xFFFF, 0, 1, 0);
  }
  // Codes are combined as bits: a header and a program that both fail are still "1".
  if (area.appendOffset + size > kLastProgramByte) {
    result |= OMRIX_FLASH_AREA_FULL;
  } else {
    result |= FlashProgram(name.c_str(), base + area.appendOffset, base + 0xFFFF, 0, 1, 0);
  }
  switch (result) {
    case OMRIX_FLASH_DONE:
      SendMessageF(
          "-> INFO: flash contains %x MCS BASIC-52 programs, %u bytes MCS BASIC-52 ROM free\n",
          area.programs + 1, static_cast<unsigned>(kAreaEnd - area.appendOffset - size));
      break;
    case OMRIX_FLASH_FILE_ERROR:
      SendMessageF("-> ERROR: Could not open file '%s'\n", name.c_str());
      break;
    case OMRIX_FLASH_TIMEOUT: SendMessage("-> ERROR: Flash memory program timeout\n"); break;
    case OMRIX_FLASH_VERIFY_ERROR: SendMessage("-> ERROR: Flash memory verify error\n"); break;
    case OMRIX_FLASH_AREA_FULL: SendMessage("-> ERROR: Flash memory full\n"); break;
    default: break;
  }
  return result;
}

}  // namespace omrix
