#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "omrix/sim/board.h"
#include "omrix/sim/parallel_port.h"
#include "omrix/sim/sim_config.h"
#include "omrix/sim/state_store.h"

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
    uint64_t otherReads = 0;  // addresses where no port register sits
    uint64_t otherWrites = 0;
    uint64_t total() const;
  };

  explicit Simulator(SimConfig config = {});
  ~Simulator();  // detaches
  Simulator(Simulator&& other) noexcept;
  Simulator& operator=(Simulator&&) = delete;
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const SimConfig& config() const;  // as constructed

  uint8_t in(uint16_t address);
  void out(uint16_t address, uint8_t value);
  void busyWait(int32_t units);
  void sleepMs(uint32_t ms);
  uint64_t nowNs() const;
  uint32_t tickCount() const;

  // The board's state between processes, kept in config().stateDir (made if missing).
  // attach takes the board: false only when another process holds it; loads the state
  // file if there is one. Without a usable directory or lock it says so on stderr, keeps no
  // state and attachProblem() says why (empty otherwise); lockPath() is the lock's file.
  // detach saves and lets the board go; save writes the state now; saveIfChanged
  // writes it only when the PC (or the test API) may have changed it and it differs from
  // what was last loaded or saved.
  bool attach();
  void detach();
  void save();
  void saveIfChanged();
  bool attached() const;
  const std::string& attachProblem() const;
  std::string lockPath() const;

  // config().ramFile is loaded when the simulator is made and again over the RAM a state
  // file brings at the first attach that reads one. A file that cannot be read, or does
  // not fit between Board::kRamProgramStart and the RAM's end, is reported on stderr and
  // leaves the RAM as it is.

  // Test API.
  void loadDesign(Design design);
  Design design() const;
  TestLed testLed() const;                       // dark while the board is out of reach
  const CableEmulation* cableEmulation() const;  // likewise nullptr
  void setAck(int level);
  uint8_t boardRegister(uint8_t address) const;
  void setBoardRegister(uint8_t address, uint8_t value);
  uint8_t boardBusAddress() const;
  AccessCounts accessCounts() const;               // every port summed, plus other addresses
  AccessCounts accessCounts(uint16_t base) const;  // one port; zero if none sits there
  void resetAccessCounts();
  std::vector<uint8_t>& flash();  // the flash cells (FlashChip::kSize bytes, keep the size)
  const std::vector<uint8_t>& flash() const;
  std::vector<uint8_t>& ram();  // the CPU's RAM (Board::kRamSize bytes, keep the size)
  const std::vector<uint8_t>& ram() const;
  CpuState cpu() const;  // held while the board is out of reach
  const CpuRecord& cpuRecord() const;
  void setFlashStuck(std::optional<uint32_t> address);
  void setFlashBadBit(std::optional<FlashBit> bit);
  // Reads of the board's port return `value` once `afterAccesses` more accesses to it
  // were made; nullopt ends the fault.
  void setStuckBus(std::optional<uint64_t> afterAccesses, uint8_t value = 0x00);
  // Each answer the PC samples from the board is wrong (one bit flipped) with this
  // probability; the sequence restarts from the seed. 0 ends the noise.
  void setNoise(double probability, uint64_t seed = 1);
  // Address 2 stops echoing the byte written to 3; the flash itself still reads right.
  void setBrokenPatterns(bool broken);

 private:
  struct PortSlot {
    ParallelPort port;
    AccessCounts counts;
  };

  PortSlot* slotAt(uint16_t address, uint16_t& offset);
  bool isBoardPort(const ParallelPort& port) const;
  Board* boardBehind(const ParallelPort& port);
  Board* reachableBoard();
  const Board* reachableBoard() const;
  void advanceBoard();
  void putRamFile();

  SimConfig config_;
  std::vector<PortSlot> slots_;
  Board board_;
  bool boardReachable_ = false;  // its port exists
  AccessCounts unoccupied_;
  uint64_t nowNs_ = 0;
  uint64_t boardPortAccesses_ = 0;
  std::optional<uint64_t> stuckFrom_;  // board-port access count after which reads stick
  uint8_t stuckValue_ = 0;
  bool attached_ = false;
  std::string attachProblem_;
  StateLock lock_;                       // held while attached with a usable state directory
  std::optional<BoardState> lastSaved_;  // as loaded or last saved
  bool mayHaveChanged_ = false;          // written to since lastSaved_
  std::optional<std::vector<uint8_t>> ramFile_;  // the RAM file until a state file was loaded
};

}  // namespace omrix::sim
