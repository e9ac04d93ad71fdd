#include "omrix/sim/board.h"

#include <limits>

namespace omrix::sim {
namespace {

// Waiting longer than this changes nothing, so the count stops here.
constexpr int32_t kFullySettled = std::numeric_limits<int32_t>::max();

// The strobes are active low: they are asserted on a falling edge.
bool Asserted(bool levelBefore, bool levelAfter) { return levelBefore && !levelAfter; }

// STROBE, AUTOFEED and SELECT IN asserted with INIT low hands the data lines to the
// FPGA's configuration pins; no bus cycle uses this combination.
bool IsConfigurationAccess(const ControlPins& pins) {
  return !pins.nStrobe && !pins.nAutoFeed && !pins.nSelectIn && !pins.nInit;
}

}  // namespace

Board::Board(int ackLevel, int32_t settle, int32_t settlePs2)
    : ackHigh_(ackLevel != 0), settle_(settle), settlePs2_(settlePs2) {}

void Board::loadDesign(Design design) {
  design_ = design;
  registers_ = SetupRegisters{};
  address_ = 0;
  readLatch_ = 0;
  readActive_ = false;
}

Design Board::design() const { return design_; }

void Board::setAck(int level) { ackHigh_ = level != 0; }

void Board::hostPinsChanged(const HostPins& before, const HostPins& after) {
  if (!decodesBus()) return;
  if (IsConfigurationAccess(after.control)) {
    readActive_ = false;
    return;
  }
  const ControlPins& was = before.control;
  const ControlPins& now = after.control;
  const uint8_t lines = dataLines(after);
  if (Asserted(was.nSelectIn, now.nSelectIn)) address_ = lines;
  // Writes are decoded in every mode, so the PC can always switch the board back.
  if (Asserted(was.nStrobe, now.nStrobe)) writeRegister(address_, lines);
  if (now.nAutoFeed) {
    readActive_ = false;
  } else if (Asserted(was.nAutoFeed, now.nAutoFeed)) {
    readLatch_ = readRegister(address_);
    readActive_ = true;
  }
}

std::optional<uint8_t> Board::dataDrive() const {
  if (!decodesBus() || !readActive_ || registers_.mode != kModePs2) return std::nullopt;
  const uint8_t settledValue = readLatch_;
  return settled(settlePs2_) ? settledValue : static_cast<uint8_t>(~settledValue);
}

StatusPins Board::statusPins(const HostPins& host) const {
  StatusPins pins;
  pins.nAck = ackHigh_;
  if (!decodesBus() || !readActive_ || registers_.mode != kModeSpp) return pins;

  // D0 selects the nibble, and the answer follows it for as long as the strobe is held.
  const bool highNibble = (dataLines(host) & 0x01) != 0;
  uint8_t nibble = highNibble ? static_cast<uint8_t>(readLatch_ >> 4)
                              : static_cast<uint8_t>(readLatch_ & 0x0F);
  if (!settled(settle_)) nibble ^= 0x0F;

  // BUSY is driven inverted, so the port's inverted status bit 7 shows nibble bit 0.
  pins.busy = (nibble & 0x01) == 0;
  pins.nError = (nibble & 0x02) != 0;
  pins.select = (nibble & 0x04) != 0;
  pins.paperEnd = (nibble & 0x08) != 0;
  return pins;
}

void Board::eppAddressWrite(uint8_t value) {
  if (decodesBus() && registers_.mode == kModeEpp) address_ = value;
}

void Board::eppDataWrite(uint8_t value) {
  if (decodesBus() && registers_.mode == kModeEpp) writeRegister(address_, value);
}

std::optional<uint8_t> Board::eppAddressRead() const {
  if (!decodesBus() || registers_.mode != kModeEpp) return std::nullopt;
  return address_;
}

std::optional<uint8_t> Board::eppDataRead() {
  if (!decodesBus() || registers_.mode != kModeEpp) return std::nullopt;
  return readRegister(address_);
}

void Board::hostWrote() { unitsSinceWrite_ = 0; }

void Board::hostWaited(int32_t units) {
  if (units <= 0) return;
  unitsSinceWrite_ = units >= kFullySettled - unitsSinceWrite_ ? kFullySettled
                                                               : unitsSinceWrite_ + units;
}

void Board::settleFully() { unitsSinceWrite_ = kFullySettled; }

uint8_t Board::storedRegister(uint8_t address) const {
  switch (address) {
    case kModeRegister: return registers_.mode;
    case kConfigRegister: return registers_.config;
    case kFlashControl: return registers_.flashControl;
    case kFlashData: return registers_.flashData;
    case kFlashAddressLow:
    case kFlashAddressMid:
    case kFlashAddressHigh: return registers_.flashAddress[address - kFlashAddressLow];
    default: return kNoRegister;
  }
}

void Board::setStoredRegister(uint8_t address, uint8_t value) {
  switch (address) {
    case kModeRegister: registers_.mode = value; break;
    case kConfigRegister: registers_.config = value; break;
    case kFlashControl: registers_.flashControl = value; break;
    case kFlashData: registers_.flashData = value; break;
    case kFlashAddressLow:
    case kFlashAddressMid:
    case kFlashAddressHigh: registers_.flashAddress[address - kFlashAddressLow] = value; break;
    default: break;
  }
}

uint8_t Board::busAddress() const { return address_; }

bool Board::decodesBus() const { return design_ == Design::Setup; }

bool Board::settled(int32_t needed) const { return unitsSinceWrite_ >= needed; }

uint8_t Board::dataLines(const HostPins& host) const {
  if (host.data) return *host.data;
  return dataDrive().value_or(kFloatingLines);
}

uint8_t Board::readRegister(uint8_t address) {
  // Address 2 is write-only FlashControl; reading it returns the flash data byte.
  if (address == kFlashControl) return registers_.flashData;
  return storedRegister(address);
}

void Board::writeRegister(uint8_t address, uint8_t value) { setStoredRegister(address, value); }

}  // namespace omrix::sim
