#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "omrix/sim/designs.h"
#include "omrix/sim/flash_chip.h"
#include "omrix/sim/line_noise.h"
#include "omrix/sim/pins.h"
#include "omrix/sim/sim_config.h"

namespace omrix::sim {

// The board's CPU as ConfigRegister's reset and slot lines leave it.
struct CpuState {
  bool running = false;  // out of reset
  int slot = 0;          // CPU slot (0-3) of the flash its program memory lies in
  bool operator==(const CpuState& other) const {
    return running == other.running && slot == other.slot;
  }
};

// The CPU left reset on this slot.
struct CpuStart {
  int slot = 0;
  uint64_t atNs = 0;  // simulated time of the process that saw it
  bool operator==(const CpuStart& other) const { return slot == other.slot && atNs == other.atNs; }
};

// What the board remembers of its CPU's starts.
struct CpuRecord {
  uint64_t starts = 0;           // every release from reset, a design's start included
  std::vector<CpuStart> recent;  // the last Board::kRecentCpuStarts starts, oldest first
  bool operator==(const CpuRecord& other) const {
    return starts == other.starts && recent == other.recent;
  }
};

// What a board keeps between processes.
struct BoardState {
  Design design = Design::None;
  std::array<uint8_t, 7> registers{};  // mm-bus 0 to 6 as the design stores them
  std::vector<uint8_t> flash;          // FlashChip::kSize bytes
  std::vector<uint8_t> ram;            // Board::kRamSize bytes
  CpuRecord cpu;
  bool operator==(const BoardState& other) const {
    return design == other.design && registers == other.registers && flash == other.flash &&
           ram == other.ram && cpu == other.cpu;
  }
};

// The omrix board behind a parallel port: the FPGA with its configuration pins and the
// bus interface of the loaded design, the registers it reaches over the 8-bit mm-bus,
// the flash chip and the CPU's RAM.
class Board {
 public:
  // mm-bus addresses.
  static constexpr uint8_t kModeRegister = 0;
  static constexpr uint8_t kConfigRegister = 1;
  static constexpr uint8_t kFlashControl = 2;
  static constexpr uint8_t kFlashData = 3;
  static constexpr uint8_t kFlashAddressLow = 4;
  static constexpr uint8_t kFlashAddressMid = 5;
  static constexpr uint8_t kFlashAddressHigh = 6;
  static constexpr uint8_t kRamData = 2;         // the RAM window: data read here,
  static constexpr uint8_t kRamAddressLow = 4;   // address bits 0-7,
  static constexpr uint8_t kRamAddressHigh = 5;  // address bits 8-15

  // ModeRegister values that select how reads are answered.
  static constexpr uint8_t kModeSpp = 0;
  static constexpr uint8_t kModePs2 = 2;
  static constexpr uint8_t kModeEpp = 4;

  // FlashControl lines.
  static constexpr uint8_t kFlashSelect = 0x01;
  static constexpr uint8_t kFlashOutputEnable = 0x02;
  static constexpr uint8_t kFlashWriteStrobe = 0x04;
  static constexpr uint8_t kFlashReset = 0x08;

  // What an address without a register reads.
  static constexpr uint8_t kNoRegister = 0xFF;

  // ConfigRegister lines of the CPU; the other bits do not reach it.
  static constexpr uint8_t kCpuReset = 0x01;     // 1 holds the CPU in reset
  static constexpr uint8_t kCpuSlotMask = 0x06;  // the CPU slot, file 0-3 at flash slot x 64 KB
  static constexpr int kCpuSlotShift = 1;
  static constexpr std::size_t kRecentCpuStarts = 8;

  static constexpr uint32_t kRamSize = 0x10000;
  // Where BASIC-52 keeps its program in the RAM.
  static constexpr uint32_t kRamProgramStart = 0x200;
  // The FPGA file0 slot the FPGA configures itself from.
  static constexpr uint32_t kFpgaSlotStart = 0x40000;
  static constexpr uint32_t kFpgaSlotSize = 0x20000;

  explicit Board(const SimConfig& config);

  // Loading a design starts its registers from their power-up values.
  void loadDesign(Design design);
  Design design() const;
  TestLed testLed() const;
  const CableEmulation* cableEmulation() const;  // nullptr: no cable is emulated
  void setAck(int level);

  // Simulated time; called before every access and after every wait.
  void advanceTo(uint64_t nowNs);

  // Cable side, called by the port. dataDrive and statusPins are the board's answer
  // without the line noise.
  void hostPinsChanged(const HostPins& before, const HostPins& after);
  std::optional<uint8_t> dataDrive() const;  // nullopt = the board leaves the data lines alone
  StatusPins statusPins(const HostPins& host) const;
  void eppAddressWrite(uint8_t value);
  void eppDataWrite(uint8_t value);
  std::optional<uint8_t> eppAddressRead() const;  // nullopt = no answer
  std::optional<uint8_t> eppDataRead();           // what the PC samples, noise included
  // What the PC samples on the data and status lines: the answer above with the line
  // noise on it. Every call is one sample.
  std::optional<uint8_t> sampleDataLines();
  StatusPins sampleStatusPins(const HostPins& host);

  // The board's answer is valid only once enough BusyWait units passed since the
  // PC's last port write.
  void hostWrote();
  void hostWaited(int32_t units);
  void settleFully();

  // Test access, bypassing the bus. Registers the design lacks read kNoRegister and
  // ignore writes.
  uint8_t storedRegister(uint8_t address) const;
  void setStoredRegister(uint8_t address, uint8_t value);
  uint8_t busAddress() const;
  FlashChip& flash();
  const FlashChip& flash() const;
  std::vector<uint8_t>& ram();
  const std::vector<uint8_t>& ram() const;
  void setNoise(double probability, uint64_t seed);  // restarts the sequence from the seed
  void setBrokenPatterns(bool broken);
  // Held unless a design with ConfigRegister runs and its bit 0 is 0.
  CpuState cpu() const;
  const CpuRecord& cpuRecord() const;

  // The state as it will be once what runs now (an FPGA reload, a flash operation) is done.
  BoardState state() const;
  void restore(const BoardState& state);

 private:
  struct Registers {
    uint8_t mode = kModeSpp;
    uint8_t config = 0;
    uint8_t flashControl = 0;
    uint8_t flashData = 0;
    std::array<uint8_t, 3> flashAddress{};
  };

  // The FPGA's configuration pins while the port holds them, else released.
  struct ConfigPins {
    bool access = false;
    bool program = true;
    bool cclk = false;
    bool din = false;
  };

  static Registers StartRegisters(const DesignInfo* info);
  static CpuState CpuOf(const DesignInfo* info, uint8_t config);
  static void RecordStart(CpuRecord& record, int slot, uint64_t atNs);
  void cpuLinesChanged();
  ConfigPins configPins(const HostPins& host) const;
  void configPinsChanged(const ConfigPins& before, const ConfigPins& after);
  void startDesign(Design design);
  Design judge(const std::vector<uint8_t>& file) const;

  bool decodesBus() const;
  bool implements(uint8_t address) const;
  bool settled(int32_t needed) const;
  std::optional<uint8_t> nibbleAnswer(const HostPins& host) const;  // nullopt = not answering
  StatusPins statusFor(std::optional<uint8_t> nibble) const;
  uint8_t dataLines(const HostPins& host) const;
  uint8_t readRegister(uint8_t address);
  void writeRegister(uint8_t address, uint8_t value);
  void flashControlWritten(uint8_t before, uint8_t after);
  uint32_t flashAddress() const;

  Design design_ = Design::None;
  const DesignInfo* info_ = nullptr;  // nullptr = no design the board knows
  bool ackHigh_;
  LineNoise noise_;
  bool brokenPatterns_;
  int32_t settle_;
  int32_t settlePs2_;
  int32_t unitsSinceWrite_ = 0;
  uint8_t address_ = 0;    // the mm-bus address, shared by SPP/PS2 and EPP cycles
  uint8_t readLatch_ = 0;  // register value fetched when the read strobe was asserted
  bool readActive_ = false;
  bool addressStrobed_ = false;  // SELECT IN asserted in a bus cycle, not yet released
  bool writeStrobed_ = false;    // STROBE likewise  // a read strobe is held and was decoded
  Registers registers_;

  uint64_t nowNs_ = 0;
  // Serial configuration from the PC: running between a rise of PROGRAM and the end of
  // the configuration access.
  bool receiving_ = false;
  std::vector<uint8_t> received_;
  uint8_t partialByte_ = 0;
  int partialBits_ = 0;
  // Configuration from the flash: the design it will run once the load time is over.
  uint64_t reloadNs_;
  std::optional<Design> reloading_;
  uint64_t reloadDoneNs_ = 0;

  FlashChip flash_;
  std::vector<uint8_t> ram_;
  bool cpuRunning_ = false;
  CpuRecord cpuRecord_;
};

// The flash of a factory-new board: erased, with the identifier block in the top sector.
std::vector<uint8_t> FactoryFlashImage();
// The same for a board of this configuration: its typecode, or erased entirely.
std::vector<uint8_t> FactoryFlashImage(const SimConfig& config);

}  // namespace omrix::sim
