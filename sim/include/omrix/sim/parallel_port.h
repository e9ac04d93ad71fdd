#pragma once

#include <cstdint>

#include "omrix/sim/pins.h"

namespace omrix::sim {

class Board;

// One PC parallel port: data, status, control and the two EPP registers.
class ParallelPort {
 public:
  static constexpr uint16_t kData = 0;
  static constexpr uint16_t kStatus = 1;
  static constexpr uint16_t kControl = 2;
  static constexpr uint16_t kEppAddress = 3;
  static constexpr uint16_t kEppData = 4;
  static constexpr uint16_t kRegisterCount = 5;

  // Control register bits.
  static constexpr uint8_t kStrobe = 0x01;
  static constexpr uint8_t kAutoFeed = 0x02;
  static constexpr uint8_t kInit = 0x04;
  static constexpr uint8_t kSelectIn = 0x08;
  static constexpr uint8_t kIrqEnable = 0x10;
  static constexpr uint8_t kDirectionInput = 0x20;

  // What a register reads that the port does not implement.
  static constexpr uint8_t kUnimplemented = 0xFF;

  ParallelPort(uint16_t base, bool bidirectional, bool epp);

  uint16_t base() const;
  bool bidirectional() const;
  bool hasEpp() const;

  // offset < kRegisterCount; board is what is plugged in, nullptr for nothing.
  uint8_t read(uint16_t offset, Board* board);
  void write(uint16_t offset, uint8_t value, Board* board);

  HostPins hostPins() const;

 private:
  bool dataLinesInput() const;
  uint8_t readStatus(Board* board) const;

  uint16_t base_;
  bool bidirectional_;
  bool epp_;
  uint8_t dataLatch_ = 0;
  uint8_t control_ = kInit;  // strobes released, INIT high, PC driving the data lines
};

}  // namespace omrix::sim
