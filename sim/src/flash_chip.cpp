#include "omrix/sim/flash_chip.h"

#include <algorithm>
#include <iterator>

#include "omrix/sim/pins.h"

namespace omrix::sim {
namespace {

constexpr uint32_t kAddressMask = FlashChip::kSize - 1;
constexpr uint8_t kErased = 0xFF;

// Top-boot layout: seven 64 KB sectors, then 32, 8, 8 and 16 KB at the top.
constexpr uint32_t kSectorStarts[] = {0x00000, 0x10000, 0x20000, 0x30000, 0x40000, 0x50000,
                                      0x60000, 0x70000, 0x78000, 0x7A000, 0x7C000};

constexpr uint8_t kUnlock1 = 0xAA;
constexpr uint8_t kUnlock2 = 0x55;
constexpr uint8_t kProgramCommand = 0xA0;
constexpr uint8_t kEraseCommand = 0x80;
constexpr uint8_t kAutoselectCommand = 0x90;
constexpr uint8_t kResetCommand = 0xF0;
constexpr uint8_t kChipEraseConfirm = 0x10;
constexpr uint8_t kSectorEraseConfirm = 0x30;

}  // namespace

FlashChip::FlashChip(FlashTimes times) : times_(times), cells_(kSize, kErased) {}

void FlashChip::write(uint32_t address, uint8_t data, uint64_t nowNs) {
  advanceTo(nowNs);
  if (resetHeld_) return;
  if (running_.kind != Kind::None) {
    // Busy: only a reset command, and only after a failure, is heard.
    if (failed_ && data == kResetCommand) toReadArray();
    return;
  }
  address &= kAddressMask;
  const bool atUnlock1 = address == kUnlockAddress1;
  const bool atUnlock2 = address == kUnlockAddress2;
  switch (cycle_) {
    case Cycle::First:
      if (atUnlock1 && data == kUnlock1) {
        cycle_ = Cycle::Unlocked;
        return;
      }
      break;
    case Cycle::Unlocked:
      if (atUnlock2 && data == kUnlock2) {
        cycle_ = Cycle::Command;
        return;
      }
      break;
    case Cycle::Command:
      if (!atUnlock1) break;
      if (data == kProgramCommand) {
        cycle_ = Cycle::ProgramData;
        return;
      }
      if (data == kEraseCommand) {
        cycle_ = Cycle::EraseFirst;
        return;
      }
      if (data == kAutoselectCommand) {
        cycle_ = Cycle::First;
        autoselect_ = true;
        return;
      }
      break;
    case Cycle::ProgramData:
      // Any byte is program data here, 0xF0 included.
      start(Kind::Program, address, data, times_.programNs, nowNs);
      return;
    case Cycle::EraseFirst:
      if (atUnlock1 && data == kUnlock1) {
        cycle_ = Cycle::EraseUnlocked;
        return;
      }
      break;
    case Cycle::EraseUnlocked:
      if (atUnlock2 && data == kUnlock2) {
        cycle_ = Cycle::EraseCommand;
        return;
      }
      break;
    case Cycle::EraseCommand:
      if (atUnlock1 && data == kChipEraseConfirm) {
        start(Kind::ChipErase, 0, 0, times_.chipEraseNs, nowNs);
        return;
      }
      if (data == kSectorEraseConfirm) {
        start(Kind::SectorErase, SectorStart(address), 0, times_.sectorEraseNs, nowNs);
        return;
      }
      break;
  }
  // A cycle that fits no command, the reset command among them, returns to reading the array.
  toReadArray();
}

uint8_t FlashChip::read(uint32_t address, uint64_t nowNs) {
  advanceTo(nowNs);
  if (resetHeld_) return kFloatingLines;  // outputs off while in reset
  if (running_.kind != Kind::None) return status();
  address &= kAddressMask;
  if (autoselect_) {
    switch (address & 0xFF) {
      case 0: return kManufacturerId;
      case 1: return kDeviceId;
      default: return 0x00;  // sector protection and reserved codes: nothing protected
    }
  }
  return arrayByte(address);
}

void FlashChip::setReset(bool held, uint64_t nowNs) {
  advanceTo(nowNs);
  // Asserting RESET# aborts an operation; the cells it was changing keep their old content.
  if (held && !resetHeld_) toReadArray();
  resetHeld_ = held;
}

uint8_t FlashChip::arrayByte(uint32_t address) const {
  address &= kAddressMask;
  uint8_t value = cells_[address];
  if (badBit_ && badBit_->address == address) value ^= static_cast<uint8_t>(1u << badBit_->bit);
  return value;
}

std::vector<uint8_t>& FlashChip::image() { return cells_; }
const std::vector<uint8_t>& FlashChip::image() const { return cells_; }

std::vector<uint8_t> FlashChip::settledImage() const {
  std::vector<uint8_t> cells = cells_;
  if (running_.kind != Kind::None && !failed_) apply(running_, cells);
  return cells;
}

void FlashChip::setStuckAddress(std::optional<uint32_t> address) {
  if (address) *address &= kAddressMask;
  stuckAddress_ = address;
}

void FlashChip::setBadBit(std::optional<FlashBit> bit) { badBit_ = bit; }

uint32_t FlashChip::SectorStart(uint32_t address) {
  address &= kAddressMask;
  const auto* next = std::upper_bound(std::begin(kSectorStarts), std::end(kSectorStarts), address);
  return *(next - 1);
}

uint32_t FlashChip::SectorSize(uint32_t address) {
  const uint32_t start = SectorStart(address);
  const auto* next = std::upper_bound(std::begin(kSectorStarts), std::end(kSectorStarts), start);
  return (next == std::end(kSectorStarts) ? kSize : *next) - start;
}

void FlashChip::advanceTo(uint64_t nowNs) {
  if (running_.kind == Kind::None || failed_ || nowNs < running_.endNs) return;
  // The cells take what the operation managed; a failure then keeps showing status.
  apply(running_, cells_);
  if (fails(running_)) {
    failed_ = true;
  } else {
    running_ = {};
  }
}

void FlashChip::start(Kind kind, uint32_t address, uint8_t data, uint64_t durationNs,
                      uint64_t nowNs) {
  cycle_ = Cycle::First;
  autoselect_ = false;
  running_ = Operation{kind, address, data, nowNs + durationNs};
  failed_ = false;
  toggle_ = false;
}

bool FlashChip::fails(const Operation& op) const {
  switch (op.kind) {
    case Kind::Program:
      // Programming can only clear bits: a 1 asked over a 0 never verifies.
      return (stuckAddress_ && *stuckAddress_ == op.address) ||
             (cells_[op.address] & op.data) != op.data;
    case Kind::SectorErase: return sectorStuck(op.address);
    case Kind::ChipErase: return stuckAddress_.has_value();
    case Kind::None: break;
  }
  return false;
}

void FlashChip::apply(const Operation& op, std::vector<uint8_t>& cells) const {
  switch (op.kind) {
    case Kind::Program:
      if (!(stuckAddress_ && *stuckAddress_ == op.address)) cells[op.address] &= op.data;
      return;
    case Kind::SectorErase:
    case Kind::ChipErase:
      for (const uint32_t start : kSectorStarts) {
        if (op.kind == Kind::SectorErase && start != op.address) continue;
        if (sectorStuck(start)) continue;
        std::fill_n(cells.begin() + start, SectorSize(start), kErased);
      }
      return;
    case Kind::None: return;
  }
}

bool FlashChip::sectorStuck(uint32_t sectorStart) const {
  return stuckAddress_ && SectorStart(*stuckAddress_) == sectorStart;
}

uint8_t FlashChip::status() {
  toggle_ = !toggle_;
  uint8_t value = toggle_ ? kToggle : 0;
  // DATA#: the complement of the byte's bit 7 while programming, 0 while erasing.
  if (running_.kind == Kind::Program) value |= static_cast<uint8_t>(~running_.data & kDataPolling);
  if (failed_) value |= kTimeLimit;
  return value;
}

void FlashChip::toReadArray() {
  cycle_ = Cycle::First;
  autoselect_ = false;
  running_ = {};
  failed_ = false;
}

}  // namespace omrix::sim
