#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "omrix/sim/sim_config.h"

namespace omrix::sim {

// Busy times of the embedded operations, in simulated nanoseconds.
struct FlashTimes {
  uint64_t programNs = 7'000;
  uint64_t sectorEraseNs = 1'000'000'000;
  uint64_t chipEraseNs = 11'000'000'000;
};

// A 512 KB top-boot JEDEC flash chip in byte mode, seen at its pins: one call per bus
// cycle. Embedded operations finish by simulated time, which every call brings along.
class FlashChip {
 public:
  static constexpr uint32_t kSize = 0x80000;
  static constexpr uint8_t kManufacturerId = 0x01;
  static constexpr uint8_t kDeviceId = 0xB9;
  static constexpr uint32_t kUnlockAddress1 = 0xAAA;
  static constexpr uint32_t kUnlockAddress2 = 0x555;

  // Status bits shown while an embedded operation runs.
  static constexpr uint8_t kDataPolling = 0x80;  // DQ7: complement of the final bit 7
  static constexpr uint8_t kToggle = 0x40;       // DQ6: flips on every read
  static constexpr uint8_t kTimeLimit = 0x20;    // DQ5: the operation failed

  explicit FlashChip(FlashTimes times = {});

  // Pins: a write cycle, a read cycle (chip and output enabled), the RESET# line.
  // Addresses above the chip's 19 address lines are not connected.
  void write(uint32_t address, uint8_t data, uint64_t nowNs);
  uint8_t read(uint32_t address, uint64_t nowNs);
  void setReset(bool held, uint64_t nowNs);
  // Lets a running operation finish once its time is up.
  void advanceTo(uint64_t nowNs);

  // The array as a reader sees it, a bad bit included.
  uint8_t arrayByte(uint32_t address) const;

  // Test access to the cells, bypassing the command logic. Keeps kSize bytes.
  std::vector<uint8_t>& image();
  const std::vector<uint8_t>& image() const;
  // The cells as they will be once a running operation has taken its time.
  std::vector<uint8_t> settledImage() const;

  void setStuckAddress(std::optional<uint32_t> address);
  void setBadBit(std::optional<FlashBit> bit);

  // The sector an address lies in: its first address and its size.
  static uint32_t SectorStart(uint32_t address);
  static uint32_t SectorSize(uint32_t address);

 private:
  enum class Kind { None, Program, SectorErase, ChipErase };
  struct Operation {
    Kind kind = Kind::None;
    uint32_t address = 0;
    uint8_t data = 0;
    uint64_t endNs = 0;
  };
  // Where the command sequence stands: which write cycle comes next.
  enum class Cycle {
    First,
    Unlocked,
    Command,
    ProgramData,
    EraseFirst,
    EraseUnlocked,
    EraseCommand
  };

  void start(Kind kind, uint32_t address, uint8_t data, uint64_t durationNs, uint64_t nowNs);
  bool fails(const Operation& op) const;
  void apply(const Operation& op, std::vector<uint8_t>& cells) const;
  bool sectorStuck(uint32_t sectorStart) const;
  uint8_t status();
  void toReadArray();

  FlashTimes times_;
  std::vector<uint8_t> cells_;
  std::optional<uint32_t> stuckAddress_;
  std::optional<FlashBit> badBit_;
  Cycle cycle_ = Cycle::First;
  bool autoselect_ = false;
  bool resetHeld_ = false;
  Operation running_;    // kind None = ready
  bool failed_ = false;  // running_ ended with its time limit exceeded
  bool toggle_ = false;
};

}  // namespace omrix::sim
