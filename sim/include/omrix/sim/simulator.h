#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "omrix/sim/board.h"
#include "omrix/sim/parallel_port.h"
#include "omrix/sim/sim_config.h"

namespace omrix::sim {

// The PC's I/O space with its parallel ports, the omrix board on one of them, and
// a simulated clock.
class Simulator {
 public:
  // Simulated duration of one BusyWait unit.
  static constexpr uint64_t kBusyWaitUnitNs = 5;
  // What an I/O address without a port reads.
  static constexpr uint8_t kOpenBus = 0xFF;

  // Port accesses by register offset and direction.
  struct AccessCounts {
    uint64_t reads[ParallelPort::kRegisterCount]{};
    uint64_t writes[ParallelPort::kRegisterCount]{};
    uint64_t otherReads = 0;   // addresses where no port register sits
    uint64_t otherWrites = 0;
    uint64_t total() const;
  };

  explicit Simulator(SimConfig config = {});

  const SimConfig& config() const;  // as constructed

  uint8_t in(uint16_t address);
  void out(uint16_t address, uint8_t value);
  void busyWait(int32_t units);
  void sleepMs(uint32_t ms);
  uint64_t nowNs() const;
  uint32_t tickCount() const;

  // Test API.
  void loadDesign(Design design);
  Design design() const;
  void setAck(int level);
  uint8_t boardRegister(uint8_t address) const;
  void setBoardRegister(uint8_t address, uint8_t value);
  uint8_t boardBusAddress() const;
  AccessCounts accessCounts() const;               // every port summed, plus other addresses
  AccessCounts accessCounts(uint16_t base) const;  // one port; zero if none sits there
  void resetAccessCounts();

 private:
  struct PortSlot {
    ParallelPort port;
    AccessCounts counts;
  };

  PortSlot* slotAt(uint16_t address, uint16_t& offset);
  Board* boardBehind(const ParallelPort& port);

  SimConfig config_;
  std::vector<PortSlot> slots_;
  std::optional<Board> board_;  // present only when its port exists
  AccessCounts unoccupied_;
  uint64_t nowNs_ = 0;
};

}  // namespace omrix::sim
