#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace omrix::sim {

// One bit of one flash byte.
struct FlashBit {
  uint32_t address = 0;
  uint8_t bit = 0;  // 0-7
  bool operator==(const FlashBit& other) const {
    return address == other.address && bit == other.bit;
  }
};

struct SimConfig {
  std::vector<uint16_t> ports{0x378};          // port bases that exist
  std::optional<uint16_t> board{0x378};        // base the board sits at; nullopt = no board
  std::optional<std::vector<uint16_t>> bidir;  // nullopt = every port bidirectional
  std::optional<std::vector<uint16_t>>
      epp;                   // nullopt = every port but 0x3BC has EPP; 0x3BC never has it
  int32_t settle = 0;        // BusyWait units a nibble read needs since the last port write
  int32_t settlePs2 = 0;     // the same for a byte-wide read
  int ack = 1;               // level of the ACK line the board drives
  uint64_t accessNs = 1000;  // modelled cost of one port access
  std::string stateDir;      // directory of the board's persistent state; empty = caller's default
  std::string
      ramFile;  // loaded into the CPU's RAM at 0x200 when the simulator starts; empty = none

  // Busy times of the board's chips, in simulated time.
  uint32_t programUs = 7;         // flash byte program
  uint32_t sectorEraseMs = 1000;  // flash sector erase
  uint32_t chipEraseMs = 11000;   // flash chip erase
  uint32_t fpgaReloadMs = 20;     // FPGA configuring itself from the flash

  // Faults.
  std::optional<uint32_t> flashStuck;  // programming this byte, or erasing its sector, never ends
  std::optional<FlashBit> badBit;      // this flash bit reads back inverted
  std::optional<uint64_t> stuckAfter;  // after this many accesses to the board's port, reads stick
  uint8_t stuckValue = 0x00;           // what every read of the board's port returns once stuck

  // Variants of the board.
  double noise = 0.0;           // chance (0-1) that an answer the PC samples has one bit flipped
  uint64_t seed = 1;            // starts the noise's pseudo-random sequence
  uint32_t typecode = 17;       // in the identifier block of a new board's flash
  bool brokenPatterns = false;  // mm-bus address 2 no longer echoes the byte written to 3
  bool erased = false;          // a new board's flash is erased entirely, identifier block included
};

// Reads the OMRIX_SIM text: ';'-separated key=value items (ports, board, bidir, epp,
// settle, settle_ps2, ack, access_ns, state, ram, program_us, sector_erase_ms, chip_erase_ms,
// fpga_reload_ms, flash_stuck, bad_bit, stuck_after, stuck_value, noise, seed, typecode,
// patterns, erased). Each unknown key or bad
// value adds one message to errors and leaves that setting at its default. Never throws.
SimConfig ParseSimConfig(const std::string& text, std::vector<std::string>& errors);

}  // namespace omrix::sim
