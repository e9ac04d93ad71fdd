#include "omrix/sim/board.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "omrix/sim/bitfile.h"

namespace omrix::sim {
namespace {

// The bit a board with broken data patterns gets wrong in the echo at address 2.
constexpr uint8_t kBrokenEchoBit = 0x01;

// Waiting longer than this changes nothing, so the count stops here.
constexpr int32_t kFullySettled = std::numeric_limits<int32_t>::max();

// The strobes are active low: they are asserted on a falling edge.
bool Asserted(bool levelBefore, bool levelAfter) { return levelBefore && !levelAfter; }
bool Released(bool levelBefore, bool levelAfter) { return !levelBefore && levelAfter; }

// STROBE, AUTOFEED and SELECT IN asserted with INIT low hands the data lines to the
// FPGA's configuration pins; no bus cycle uses this combination.
bool IsConfigurationAccess(const ControlPins& pins) {
  return !pins.nStrobe && !pins.nAutoFeed && !pins.nSelectIn && !pins.nInit;
}

// The PC's data lines as the configuration pins see them; nobody else drives them then.
uint8_t HostLines(const HostPins& host) { return host.data.value_or(kFloatingLines); }

uint8_t ReverseBits(uint8_t value) {
  uint8_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit) {
    reversed = static_cast<uint8_t>((reversed << 1) | ((value >> bit) & 1));
  }
  return reversed;
}

constexpr uint64_t kNsPerMs = 1'000'000;
constexpr uint64_t kNsPerUs = 1'000;

FlashTimes TimesOf(const SimConfig& config) {
  return FlashTimes{config.programUs * kNsPerUs, config.sectorEraseMs * kNsPerMs,
                    config.chipEraseMs * kNsPerMs};
}

// The identifier block a board leaves the factory with.
constexpr uint32_t kManufacturerField = 0x7FFE0;
constexpr uint32_t kDeviceNameField = 0x7FFC0;
constexpr uint32_t kSignatureTesterField = 0x7FFA0;
constexpr uint32_t kTypecodeField = 0x7FF90;
constexpr uint32_t kRevisionField = 0x7FF80;
constexpr uint32_t kSerialNumberField = 0x7FF70;
constexpr uint32_t kProductionDateField = 0x7FF60;
constexpr uint32_t kFpgaTypeField = 0x7FF40;

// A text field holds the text and its zero; the rest of its 32 bytes stays erased.
void PutText(std::vector<uint8_t>& image, uint32_t at, const char* text) {
  const std::size_t length = std::strlen(text);
  std::copy(text, text + length, image.begin() + at);
  image[at + length] = 0;
}

void PutNumber(std::vector<uint8_t>& image, uint32_t at, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> FactoryFlashImage() { return FactoryFlashImage(SimConfig{}); }

std::vector<uint8_t> FactoryFlashImage(const SimConfig& config) {
  std::vector<uint8_t> image(FlashChip::kSize, 0xFF);
  if (config.erased) return image;
  PutText(image, kManufacturerField, "Varnotek");
  PutText(image, kDeviceNameField, "omrix");
  PutText(image, kSignatureTesterField, "QA bench 2");
  PutNumber(image, kTypecodeField, config.typecode);
  PutNumber(image, kRevisionField, 3);
  PutNumber(image, kSerialNumberField, 4711);
  PutNumber(image, kProductionDateField, 1104537600);  // 2005-01-01 00:00 UTC
  PutText(image, kFpgaTypeField, "XC2S100");
  return image;
}

Board::Board(const SimConfig& config)
    : ackHigh_(config.ack != 0),
      noise_(config.noise, config.seed),
      brokenPatterns_(config.brokenPatterns),
      settle_(config.settle),
      settlePs2_(config.settlePs2),
      reloadNs_(config.fpgaReloadMs * kNsPerMs),
      flash_(TimesOf(config)),
      ram_(kRamSize, 0x00) {
  flash_.image() = FactoryFlashImage(config);
  flash_.setStuckAddress(config.flashStuck);
  flash_.setBadBit(config.badBit);
}

void Board::loadDesign(Design design) {
  receiving_ = false;
  reloading_.reset();
  startDesign(design);
}

Design Board::design() const { return design_; }

TestLed Board::testLed() const { return info_ != nullptr ? info_->testLed : TestLed::Dark; }

const CableEmulation* Board::cableEmulation() const {
  return info_ != nullptr ? info_->cable : nullptr;
}

void Board::setAck(int level) { ackHigh_ = level != 0; }

void Board::advanceTo(uint64_t nowNs) {
  if (reloading_ && nowNs >= reloadDoneNs_) {
    // The design, and the CPU with it, starts when the load ends, not when the PC next looks.
    nowNs_ = reloadDoneNs_;
    flash_.advanceTo(nowNs_);
    const Design loaded = *reloading_;
    reloading_.reset();
    startDesign(loaded);
  }
  nowNs_ = nowNs;
  flash_.advanceTo(nowNs_);
}

void Board::hostPinsChanged(const HostPins& before, const HostPins& after) {
  configPinsChanged(configPins(before), configPins(after));
  if (!decodesBus()) return;
  if (IsConfigurationAccess(after.control)) {
    readActive_ = false;
    addressStrobed_ = false;
    writeStrobed_ = false;
    return;
  }
  const ControlPins& was = before.control;
  const ControlPins& now = after.control;
  const uint8_t lines = dataLines(after);
  // Address and data are taken when their strobe ends, so a strobe that a line state left
  // asserted (after a failed EPP attempt) still completes the next cycle.
  if (Asserted(was.nSelectIn, now.nSelectIn)) addressStrobed_ = true;
  if (Released(was.nSelectIn, now.nSelectIn) && addressStrobed_) {
    address_ = lines;
    addressStrobed_ = false;
  }
  if (Asserted(was.nStrobe, now.nStrobe)) writeStrobed_ = true;
  // Writes are decoded in every mode, so the PC can always switch the board back.
  if (Released(was.nStrobe, now.nStrobe) && writeStrobed_) {
    writeRegister(address_, lines);
    writeStrobed_ = false;
  }
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

StatusPins Board::statusPins(const HostPins& host) const { return statusFor(nibbleAnswer(host)); }

std::optional<uint8_t> Board::sampleDataLines() {
  const std::optional<uint8_t> value = dataDrive();
  if (!value) return value;
  return noise_.apply(*value, 8);
}

StatusPins Board::sampleStatusPins(const HostPins& host) {
  std::optional<uint8_t> nibble = nibbleAnswer(host);
  if (nibble) nibble = noise_.apply(*nibble, 4);
  return statusFor(nibble);
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
  return noise_.apply(readRegister(address_), 8);
}

void Board::hostWrote() { unitsSinceWrite_ = 0; }

void Board::hostWaited(int32_t units) {
  if (units <= 0) return;
  unitsSinceWrite_ =
      units >= kFullySettled - unitsSinceWrite_ ? kFullySettled : unitsSinceWrite_ + units;
}

void Board::settleFully() { unitsSinceWrite_ = kFullySettled; }

uint8_t Board::storedRegister(uint8_t address) const {
  if (!implements(address)) return kNoRegister;
  switch (address) {
    case kModeRegister: return registers_.mode;
    case kConfigRegister: return registers_.config;
    case kFlashControl: return registers_.flashControl;
    case kFlashData: return registers_.flashData;
    default: return registers_.flashAddress[address - kFlashAddressLow];
  }
}

void Board::setStoredRegister(uint8_t address, uint8_t value) {
  if (!implements(address)) return;
  switch (address) {
    case kModeRegister: registers_.mode = value; break;
    case kConfigRegister:
      registers_.config = value;
      cpuLinesChanged();
      break;
    case kFlashControl: registers_.flashControl = value; break;
    case kFlashData: registers_.flashData = value; break;
    default: registers_.flashAddress[address - kFlashAddressLow] = value; break;
  }
}

uint8_t Board::busAddress() const { return address_; }

FlashChip& Board::flash() { return flash_; }
const FlashChip& Board::flash() const { return flash_; }
std::vector<uint8_t>& Board::ram() { return ram_; }
const std::vector<uint8_t>& Board::ram() const { return ram_; }

void Board::setNoise(double probability, uint64_t seed) { noise_ = LineNoise(probability, seed); }
void Board::setBrokenPatterns(bool broken) { brokenPatterns_ = broken; }

CpuState Board::cpu() const { return CpuOf(info_, registers_.config); }
const CpuRecord& Board::cpuRecord() const { return cpuRecord_; }

BoardState Board::state() const {
  BoardState state;
  Registers registers = registers_;
  state.design = design_;
  state.cpu = cpuRecord_;
  if (reloading_) {
    // Between processes the reload has all the time it needs, and the CPU starts with it.
    state.design = *reloading_;
    registers = StartRegisters(FindDesign(*reloading_));
    const CpuState after = CpuOf(FindDesign(*reloading_), registers.config);
    if (after.running && !cpuRunning_) RecordStart(state.cpu, after.slot, reloadDoneNs_);
  }
  state.registers = {registers.mode,           registers.config,          registers.flashControl,
                     registers.flashData,      registers.flashAddress[0], registers.flashAddress[1],
                     registers.flashAddress[2]};
  state.flash = flash_.settledImage();
  state.ram = ram_;
  return state;
}

void Board::restore(const BoardState& state) {
  loadDesign(state.design);
  registers_.mode = state.registers[0];
  registers_.config = state.registers[1];
  registers_.flashControl = state.registers[2];
  registers_.flashData = state.registers[3];
  std::copy(state.registers.begin() + 4, state.registers.end(), registers_.flashAddress.begin());
  flash_.setReset(decodesBus() && (registers_.flashControl & kFlashReset) != 0, nowNs_);
  if (state.flash.size() == FlashChip::kSize) flash_.image() = state.flash;
  if (state.ram.size() == kRamSize) ram_ = state.ram;
  // The CPU goes on from where it was; restoring is no start.
  cpuRunning_ = cpu().running;
  cpuRecord_ = state.cpu;
}

Board::Registers Board::StartRegisters(const DesignInfo* info) {
  Registers registers;
  if (info) registers.config = info->configAfterLoad;
  return registers;
}

CpuState Board::CpuOf(const DesignInfo* info, uint8_t config) {
  // Without ConfigRegister nothing releases the reset line.
  if (!info || !info->modeAndConfig) return CpuState{};
  return CpuState{(config & kCpuReset) == 0, (config & kCpuSlotMask) >> kCpuSlotShift};
}

void Board::RecordStart(CpuRecord& record, int slot, uint64_t atNs) {
  ++record.starts;
  record.recent.push_back(CpuStart{slot, atNs});
  if (record.recent.size() > kRecentCpuStarts) record.recent.erase(record.recent.begin());
}

void Board::cpuLinesChanged() {
  const CpuState now = cpu();
  if (now.running && !cpuRunning_) RecordStart(cpuRecord_, now.slot, nowNs_);
  cpuRunning_ = now.running;
}

Board::ConfigPins Board::configPins(const HostPins& host) const {
  ConfigPins pins;
  if (!IsConfigurationAccess(host.control)) return pins;
  const uint8_t lines = HostLines(host);
  pins.access = true;
  pins.din = (lines & 0x01) != 0;
  pins.program = (lines & 0x02) != 0;
  pins.cclk = (lines & 0x04) != 0;
  return pins;
}

void Board::configPinsChanged(const ConfigPins& before, const ConfigPins& after) {
  if (before.program && !after.program) {
    // PROGRAM low: the configuration and every register are gone, the CPU is held.
    receiving_ = false;
    reloading_.reset();
    startDesign(Design::None);
    return;
  }
  if (!before.program && after.program) {
    if (after.access) {
      // Released by the PC: the FPGA waits for a configuration on DIN.
      receiving_ = true;
      received_.clear();
      partialByte_ = 0;
      partialBits_ = 0;
    } else {
      // Released because the access ended: the FPGA configures itself from the flash.
      std::vector<uint8_t> slot(kFpgaSlotSize);
      for (uint32_t i = 0; i < kFpgaSlotSize; ++i) {
        slot[i] = ReverseBits(flash_.arrayByte(kFpgaSlotStart + i));
      }
      reloading_ = judge(slot);
      reloadDoneNs_ = nowNs_ + reloadNs_;
    }
    return;
  }
  if (!receiving_) return;
  if (!after.access) {
    // The access ended: whatever came in is all the FPGA gets.
    receiving_ = false;
    startDesign(judge(received_));
    received_.clear();
    return;
  }
  if (!before.cclk && after.cclk) {
    partialByte_ = static_cast<uint8_t>((partialByte_ << 1) | (after.din ? 1 : 0));
    if (++partialBits_ == 8) {
      received_.push_back(partialByte_);
      partialByte_ = 0;
      partialBits_ = 0;
    }
  }
}

void Board::startDesign(Design design) {
  design_ = design;
  info_ = FindDesign(design);
  registers_ = StartRegisters(info_);
  address_ = 0;
  readLatch_ = 0;
  readActive_ = false;
  addressStrobed_ = false;
  writeStrobed_ = false;
  // A new design starts with its flash lines released.
  flash_.setReset(false, nowNs_);
  cpuLinesChanged();
}

Design Board::judge(const std::vector<uint8_t>& file) const {
  BitFile parsed;
  if (ParseBitFile(file, parsed) != BitParse::Ok) return Design::None;
  const DesignInfo* info = FindDesign(parsed.designName);
  return info ? info->design : Design::Foreign;
}

bool Board::decodesBus() const { return info_ && info_->modeAndConfig; }

bool Board::implements(uint8_t address) const {
  // A design without ModeRegister and ConfigRegister has no bus interface at all.
  if (!decodesBus()) return false;
  switch (address) {
    case kModeRegister:
    case kConfigRegister: return true;
    case kFlashControl:
    case kFlashAddressLow:
    case kFlashAddressMid: return info_->flashWindow || info_->ramWindow;
    case kFlashData:
    case kFlashAddressHigh: return info_->flashWindow;
    default: return false;
  }
}

bool Board::settled(int32_t needed) const { return unitsSinceWrite_ >= needed; }

std::optional<uint8_t> Board::nibbleAnswer(const HostPins& host) const {
  if (!decodesBus() || !readActive_ || registers_.mode != kModeSpp) return std::nullopt;
  // D0 selects the nibble, and the answer follows it for as long as the strobe is held.
  const bool highNibble = (dataLines(host) & 0x01) != 0;
  uint8_t nibble =
      highNibble ? static_cast<uint8_t>(readLatch_ >> 4) : static_cast<uint8_t>(readLatch_ & 0x0F);
  if (!settled(settle_)) nibble ^= 0x0F;
  return nibble;
}

StatusPins Board::statusFor(std::optional<uint8_t> nibble) const {
  StatusPins pins;
  pins.nAck = ackHigh_;
  if (!nibble) return pins;
  // BUSY is driven inverted, so the port's inverted status bit 7 shows nibble bit 0.
  pins.busy = (*nibble & 0x01) == 0;
  pins.nError = (*nibble & 0x02) != 0;
  pins.select = (*nibble & 0x04) != 0;
  pins.paperEnd = (*nibble & 0x08) != 0;
  return pins;
}

uint8_t Board::dataLines(const HostPins& host) const {
  if (host.data) return *host.data;
  return dataDrive().value_or(kFloatingLines);
}

uint8_t Board::readRegister(uint8_t address) {
  if (!implements(address)) return kNoRegister;
  if (address == kRamData && info_->ramWindow) {
    return ram_[registers_.flashAddress[0] | (registers_.flashAddress[1] << 8)];
  }
  // Address 2 is write-only FlashControl; reading it returns the flash data byte. A board
  // with broken data lines gets one bit of it wrong, so no echo ever matches.
  if (address == kFlashControl) {
    return brokenPatterns_ ? static_cast<uint8_t>(registers_.flashData ^ kBrokenEchoBit)
                           : registers_.flashData;
  }
  if (address == kFlashData) {
    constexpr uint8_t kReading = kFlashSelect | kFlashOutputEnable;
    if ((registers_.flashControl & kReading) == kReading)
      return flash_.read(flashAddress(), nowNs_);
    return registers_.flashData;
  }
  return storedRegister(address);
}

void Board::writeRegister(uint8_t address, uint8_t value) {
  if (!implements(address)) return;
  if (address == kFlashControl) {
    // Without the flash window address 2 only reads RAM.
    if (!info_->flashWindow) return;
    const uint8_t before = registers_.flashControl;
    registers_.flashControl = value;
    flashControlWritten(before, value);
    return;
  }
  setStoredRegister(address, value);
}

void Board::flashControlWritten(uint8_t before, uint8_t after) {
  if ((before ^ after) & kFlashReset) flash_.setReset((after & kFlashReset) != 0, nowNs_);
  // The chip takes address and data when the write strobe (or chip select) is released.
  constexpr uint8_t kWriting = kFlashSelect | kFlashWriteStrobe;
  const bool wasWriting = (before & kWriting) == kWriting && (before & kFlashOutputEnable) == 0;
  const bool stillWriting = (after & kWriting) == kWriting;
  if (wasWriting && !stillWriting) flash_.write(flashAddress(), registers_.flashData, nowNs_);
}

uint32_t Board::flashAddress() const {
  return registers_.flashAddress[0] | (registers_.flashAddress[1] << 8) |
         (static_cast<uint32_t>(registers_.flashAddress[2]) << 16);
}

}  // namespace omrix::sim
