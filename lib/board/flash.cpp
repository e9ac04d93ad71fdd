#include "flash.h"

#include <memory>
#include <string>
#include <vector>

#include "board/flash_chip.h"
#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "omrix/omrix_dll.h"
#include "platform/platform.h"
#include "setup/setup_data_writer.h"

namespace omrix {

namespace {

constexpr std::uint64_t kProgressStep = 16384;
// The chip's last byte address: its address lines end here, and an address beyond would wrap.
constexpr std::uint32_t kFlashEnd = OMRIX_FLASH_LAST;

// A source file of flash contents, read in large pieces. A read error is not an end.
class ImageFile {
 public:
  // Only regular files: a FIFO or a device could block or never end.
  bool open(const std::string& path) {
    platform::FileStatus status;
    if (!platform::files().status(path, status) || !status.isRegular) return false;
    file_ = platform::files().open(path, platform::FileMode::Read);
    return file_ != nullptr;
  }
  // Skips `count` bytes; false on a read error.
  bool skip(std::uint64_t count) {
    std::uint8_t byte;
    while (count > 0) {
      if (position_ < filled_) {
        const std::uint64_t step = std::min<std::uint64_t>(count, filled_ - position_);
        position_ += static_cast<std::size_t>(step);
        count -= step;
      } else if (!next(byte)) {
        return !failed_;
      } else {
        --count;
      }
    }
    return true;
  }
  // The next byte; false at the end or on a read error (then failed() says so).
  bool next(std::uint8_t& byte) {
    if (position_ == filled_) {
      if (failed_ || ended_) return false;
      std::size_t got = 0;
      if (!file_->read(buffer_.data(), buffer_.size(), got)) {
        failed_ = true;
        return false;
      }
      if (got == 0) {
        ended_ = true;
        return false;
      }
      filled_ = got;
      position_ = 0;
    }
    byte = buffer_[position_++];
    return true;
  }
  bool failed() const { return failed_; }

 private:
  std::unique_ptr<platform::File> file_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(65536);
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  bool failed_ = false;
  bool ended_ = false;
};

void Progress(std::uint64_t count) {
  if (count % kProgressStep == 0) SendMessage(".");
}

FileNameField* SlotStartingAt(std::uint32_t sectorAddress) {
  for (const FlashSlotRecord& slot : kFlashSlots)
    if (slot.first == sectorAddress) return &SlotName(slot);
  return nullptr;
}

// Programming the whole user space replaces every slot.
std::vector<FileNameField*> SlotsEndingAt(std::uint32_t endAddress) {
  std::vector<FileNameField*> slots;
  for (const FlashSlotRecord& slot : kFlashSlots)
    if (slot.last == endAddress || endAddress == kUserSpaceEnd) slots.push_back(&SlotName(slot));
  return slots;
}

// A name that the field or the setup data file cannot hold is not known, rather than cut.
void RecordSlotName(FileNameField& field, const std::string& name) {
  if (!IsStorableName(name) || !SetField(field, name)) SetField(field, "UNKNOWN");
}

std::string NameOf(const char* fileName) { return fileName != nullptr ? fileName : ""; }

// The part of a range that lies on the chip, said when it is not the whole range; false, said
// too, when nothing of it does.
bool RangeOnChip(std::uint32_t start, std::uint32_t& end) {
  if (start > end) {
    SendMessageF("-> ERROR: empty flash range %Xh-%Xh, nothing done\n",
                 static_cast<unsigned>(start), static_cast<unsigned>(end));
    return false;
  }
  if (start > kFlashEnd) {
    SendMessageF(
        "-> ERROR: flash range %Xh-%Xh lies beyond the flash memory (0h-%Xh), nothing done\n",
        static_cast<unsigned>(start), static_cast<unsigned>(end), kFlashEnd);
    return false;
  }
  if (end > kFlashEnd) {
    SendMessageF("-> WARNING: flash range %Xh-%Xh cut at the end of the flash memory, %Xh\n",
                 static_cast<unsigned>(start), static_cast<unsigned>(end), kFlashEnd);
    end = kFlashEnd;
  }
  return true;
}

void SayFileHoldsNothing(const std::string& name, std::uint32_t fileOffset) {
  SendMessageF("-> ERROR: file '%s' holds no data from offset %Xh on\n", name.c_str(),
               static_cast<unsigned>(fileOffset));
}

void SayCouldNotWrite(const std::string& name) {
  SendMessageF("\n-> ERROR: Could not write file '%s'\n", name.c_str());
}

}  // namespace

std::int32_t FlashChipErase() {
  FlashReset();
  StartChipErase();
  SendMessage("Chip erase flash ...\n");
  const int result = AwaitChipErase();
  // A time-out is never "done": the chip may hold anything.
  if (result == OMRIX_FLASH_DONE) {
    SendMessage("-> done\n");
  } else {
    SendMessage("-> ERROR: Flash memory chip erase timeout\n");
  }
  LeaveReadMode();
  return result;
}

std::int32_t FlashSectorErase(std::uint32_t sectorAddress) {
  FlashReset();
  StartSectorErase(sectorAddress);
  SendMessageF("Sector erase flash at %Xh...\n", static_cast<unsigned>(sectorAddress));
  const int result = AwaitSectorErase();
  if (result == OMRIX_FLASH_DONE) {
    SendMessage("-> done\n");
  } else {
    SendMessageF("-> ERROR: Flash memory sector erase timeout at %Xh\n",
                 static_cast<unsigned>(sectorAddress));
  }
  LeaveReadMode();
  if (FileNameField* slot = SlotStartingAt(sectorAddress))
    SetField(*slot, result == OMRIX_FLASH_DONE ? "ERASED" : "UNKNOWN");
  return result;
}

std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress, std::uint32_t endAddress,
                         std::uint32_t fileOffset, std::int32_t reverseBits) {
  if (!RangeOnChip(startAddress, endAddress)) return OMRIX_FLASH_FILE_ERROR;
  FlashReset();
  SendMessage("-> verify flash ");
  ImageFile file;
  if (!file.open(NameOf(fileName)) || !file.skip(fileOffset)) {
    SendMessage("\n");
    return OMRIX_FLASH_FILE_ERROR;
  }
  int result = OMRIX_FLASH_DONE;
  EnterReadMode();
  std::uint32_t previous = ~startAddress;
  std::uint64_t count = 0;
  for (std::uint64_t a = startAddress; a <= endAddress; ++a) {
    std::uint8_t expected;
    if (!file.next(expected)) break;
    if (reverseBits != 0) expected = ReverseBits(expected);
    const auto address = static_cast<std::uint32_t>(a);
    const std::uint8_t actual = FlashReadNext(address, previous);
    previous = address;
    if (actual != expected) {
      result = OMRIX_FLASH_TIMEOUT;
      break;
    }
    Progress(++count);
  }
  LeaveReadMode();
  SendMessage("\n");
  // What could not be read was not compared.
  if (file.failed()) return OMRIX_FLASH_FILE_ERROR;
  if (result == OMRIX_FLASH_DONE && count == 0) {
    SayFileHoldsNothing(NameOf(fileName), fileOffset);
    return OMRIX_FLASH_FILE_ERROR;
  }
  return result;
}

std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                          std::uint32_t endAddress, std::uint32_t fileOffset, std::int32_t verify,
                          std::int32_t reverseBits) {
  const std::string name = NameOf(fileName);
  if (!RangeOnChip(startAddress, endAddress)) return OMRIX_FLASH_FILE_ERROR;
  FlashReset();
  SendMessageF("Program flash starting at %Xh with file '%s'", static_cast<unsigned>(startAddress),
               name.c_str());
  int result = OMRIX_FLASH_DONE;
  bool nothingInFile = false;
  ImageFile file;
  if (!file.open(name) || !file.skip(fileOffset)) {
    result = OMRIX_FLASH_FILE_ERROR;
  } else {
    std::uint64_t count = 0;
    for (std::uint64_t a = startAddress; a <= endAddress; ++a) {
      std::uint8_t byte;
      if (!file.next(byte)) break;
      if (reverseBits != 0) byte = ReverseBits(byte);
      if (FlashProgramByte(static_cast<std::uint32_t>(a), byte) == OMRIX_FLASH_TIMEOUT) {
        result = OMRIX_FLASH_TIMEOUT;
        break;
      }
      Progress(++count);
    }
    // Programmed up to a read error, but not the whole file: not done.
    if (result == OMRIX_FLASH_DONE && file.failed()) result = OMRIX_FLASH_FILE_ERROR;
    nothingInFile = result == OMRIX_FLASH_DONE && count == 0;
    if (nothingInFile) result = OMRIX_FLASH_FILE_ERROR;
  }
  SendMessage("\n");
  ReleaseFlash();
  if (verify != 0 && result == OMRIX_FLASH_DONE) {
    if (FlashVerify(fileName, startAddress, endAddress, fileOffset, reverseBits) !=
        OMRIX_FLASH_DONE)
      result = OMRIX_FLASH_VERIFY_ERROR;
    if (result == OMRIX_FLASH_DONE)
      for (FileNameField* slot : SlotsEndingAt(endAddress)) RecordSlotName(*slot, name);
  }
  if (nothingInFile) {
    SayFileHoldsNothing(name, fileOffset);
    return result;
  }
  switch (result) {
    case OMRIX_FLASH_DONE: SendMessage("-> flash program done\n"); break;
    case OMRIX_FLASH_FILE_ERROR:
      SendMessageF("-> ERROR: Could not open file '%s'\n", name.c_str());
      break;
    case OMRIX_FLASH_TIMEOUT: SendMessage("-> ERROR: Flash memory program timeout\n"); break;
    default: SendMessage("-> ERROR: Flash memory verify error\n"); break;
  }
  return result;
}

std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                            std::uint32_t endAddress) {
  const std::string name = NameOf(fileName);
  if (!RangeOnChip(startAddress, endAddress)) return OMRIX_FLASH_FILE_ERROR;
  FlashReset();
  SendMessageF("Save flash to file: '%s' ", name.c_str());
  // The old file stays until the save is whole.
  FileReplacement replacement(name);
  platform::File* const file = replacement.file();
  if (file == nullptr) {
    SayCouldNotWrite(name);
    return OMRIX_FLASH_FILE_ERROR;
  }
  bool written = true;
  std::vector<std::uint8_t> buffer;
  buffer.reserve(65536);
  EnterReadMode();
  std::uint32_t previous = ~startAddress;
  std::uint64_t count = 0;
  for (std::uint64_t a = startAddress; a <= endAddress && written; ++a) {
    const auto address = static_cast<std::uint32_t>(a);
    buffer.push_back(FlashReadNext(address, previous));
    previous = address;
    if (buffer.size() == buffer.capacity()) {
      written = file->write(buffer.data(), buffer.size());
      buffer.clear();
    }
    Progress(++count);
  }
  LeaveReadMode();
  if (written && !buffer.empty()) written = file->write(buffer.data(), buffer.size());
  written = written && replacement.commit();
  if (!written) {
    SayCouldNotWrite(name);
    return OMRIX_FLASH_FILE_ERROR;
  }
  SendMessage("\n -> done\n");
  return OMRIX_FLASH_DONE;
}

}  // namespace omrix
