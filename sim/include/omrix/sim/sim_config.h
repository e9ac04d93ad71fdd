#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace omrix::sim {

struct SimConfig {
  std::vector<uint16_t> ports{0x378};          // port bases that exist
  std::optional<uint16_t> board{0x378};        // base the board sits at; nullopt = no board
  std::optional<std::vector<uint16_t>> bidir;  // nullopt = every port bidirectional
  std::optional<std::vector<uint16_t>> epp;    // nullopt = every port but 0x3BC has EPP; 0x3BC never has it
  int32_t settle = 0;       // BusyWait units a nibble read needs since the last port write
  int32_t settlePs2 = 0;    // the same for a byte-wide read
  int ack = 1;              // level of the ACK line the board drives
  uint64_t accessNs = 1000;  // modelled cost of one port access
  std::string stateDir;     // directory of the board's persistent state; empty = caller's default
};

// Reads the OMRIX_SIM text: ';'-separated key=value items (ports, board, bidir, epp,
// settle, settle_ps2, ack, access_ns, state). Each unknown key or bad value adds one
// message to errors and leaves that setting at its default. Never throws.
SimConfig ParseSimConfig(const std::string& text, std::vector<std::string>& errors);

}  // namespace omrix::sim
