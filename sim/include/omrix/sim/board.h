#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "omrix/sim/pins.h"

namespace omrix::sim {

// What the board's FPGA currently runs. None is an unconfigured FPGA.
enum class Design { None, Setup };

// The omrix board behind a parallel port: the bus interface of the loaded FPGA
// design and the registers it reaches over the 8-bit mm-bus.
class Board {
 public:
  // mm-bus addresses of the setup design.
  static constexpr uint8_t kModeRegister = 0;
  static constexpr uint8_t kConfigRegister = 1;
  static constexpr uint8_t kFlashControl = 2;
  static constexpr uint8_t kFlashData = 3;
  static constexpr uint8_t kFlashAddressLow = 4;
  static constexpr uint8_t kFlashAddressMid = 5;
  static constexpr uint8_t kFlashAddressHigh = 6;

  // ModeRegister values that select how reads are answered.
  static constexpr uint8_t kModeSpp = 0;
  static constexpr uint8_t kModePs2 = 2;
  static constexpr uint8_t kModeEpp = 4;

  // What an address without a register reads.
  static constexpr uint8_t kNoRegister = 0xFF;

  Board(int ackLevel, int32_t settle, int32_t settlePs2);

  // Loading a design starts its registers from their power-up values.
  void loadDesign(Design design);
  Design design() const;
  void setAck(int level);

  // Cable side, called by the port.
  void hostPinsChanged(const HostPins& before, const HostPins& after);
  std::optional<uint8_t> dataDrive() const;  // nullopt = the board leaves the data lines alone
  StatusPins statusPins(const HostPins& host) const;
  void eppAddressWrite(uint8_t value);
  void eppDataWrite(uint8_t value);
  std::optional<uint8_t> eppAddressRead() const;  // nullopt = no answer
  std::optional<uint8_t> eppDataRead();

  // The board's answer is valid only once enough BusyWait units passed since the
  // PC's last port write.
  void hostWrote();
  void hostWaited(int32_t units);
  void settleFully();

  // Test access to the register file, bypassing the bus.
  uint8_t storedRegister(uint8_t address) const;
  void setStoredRegister(uint8_t address, uint8_t value);
  uint8_t busAddress() const;

 private:
  struct SetupRegisters {
    uint8_t mode = kModeSpp;
    uint8_t config = 0x01;
    uint8_t flashControl = 0;
    uint8_t flashData = 0;
    std::array<uint8_t, 3> flashAddress{};
  };

  bool decodesBus() const;
  bool settled(int32_t needed) const;
  uint8_t dataLines(const HostPins& host) const;
  uint8_t readRegister(uint8_t address);
  void writeRegister(uint8_t address, uint8_t value);

  Design design_ = Design::None;
  bool ackHigh_;
  int32_t settle_;
  int32_t settlePs2_;
  int32_t unitsSinceWrite_ = 0;
  uint8_t address_ = 0;     // the mm-bus address, shared by SPP/PS2 and EPP cycles
  uint8_t readLatch_ = 0;   // register value fetched when the read strobe was asserted
  bool readActive_ = false;  // a read strobe is held and was decoded
  SetupRegisters registers_;
};

}  // namespace omrix::sim
